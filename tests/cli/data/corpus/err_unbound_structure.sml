(* List utilities; one call goes to a structure that does not exist. *)

fun squares xs = List.map (fn x => x * x) xs
val s = squares [1, 2, 3]

fun evens xs = List.filter (fn x => x mod 2 = 0) xs
val e = evens [1, 2, 3, 4]

fun lengths xss = Lst.map length xss
val ls = lengths [[1], [2, 3]]

val total = List.foldl op+ 0 s
