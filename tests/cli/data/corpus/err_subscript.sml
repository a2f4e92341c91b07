(* Indexing into a list of rows, one index too far. *)

val rows = [["a", "b"], ["c", "d"], ["e", "f"]]

fun cell (r, c) = List.nth (List.nth (rows, r), c)

val topLeft = cell (0, 0)
val bottomRight = cell (2, 1)
val outside = cell (3, 0)
val again = cell (1, 1)
