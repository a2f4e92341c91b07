(* Greeting cards; one string forgets its closing quote. *)

fun card (name, msg) = "Dear " ^ name ^ ",\n" ^ msg ^ "\n"

val birthday = card ("Ana", "Happy birthday!")
val thanks = card ("Ben", "Thank you for the gift.)

val farewell = card ("Cleo", "Good luck in the new job.")
val all = [birthday, farewell]
