(* Grade report.  The average is computed on ints, then printed. *)

val scores = [("ann", 81), ("bo", 92), ("cy", 77)]

fun total xs = foldl (fn ((_, s), acc) => acc + s) 0 xs

fun average xs = total xs div length xs

val avg = average scores

(* mixing a string into the sum: the type checker stops here *)
val report = "average: " + avg

fun best xs =
  foldl (fn ((n, s), (bn, bs)) => if s > bs then (n, s) else (bn, bs)) ("", ~1) xs

val winner = #1 (best scores)
val _ = print ("winner: " ^ winner ^ "\n")
