(* Day names from numbers; the match forgets Sunday. *)

fun dayName 1 = "Monday"
  | dayName 2 = "Tuesday"
  | dayName 3 = "Wednesday"
  | dayName 4 = "Thursday"
  | dayName 5 = "Friday"
  | dayName 6 = "Saturday"

val weekdays = map dayName [1, 2, 3, 4, 5]
val weekend = map dayName [6, 7]
val friday = dayName 5
