(* Averages per group; the last group is empty. *)

val groups = [[3, 4, 5], [10, 20], []]

fun sum xs = foldl op+ 0 xs
fun mean xs = sum xs div length xs

val first = mean (List.nth (groups, 0))
val second = mean (List.nth (groups, 1))
val third = mean (List.nth (groups, 2))

val all = map mean groups handle Div => []
