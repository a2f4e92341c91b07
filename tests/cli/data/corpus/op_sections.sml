(* Operators as values, written the way some textbooks write them;
   not every compiler takes that spelling, since a star before ")" closes a comment. *)

val plus = (op +)
val times = (op *)
val minus = (op -)

val sum = foldl plus 0 [1, 2, 3]
val product = foldl times 1 [1, 2, 3, 4]
val difference = minus (10, 4)
val table = map (fn f => f (6, 3)) [plus, times, minus]
