(* A to-do list printed as a bulleted list, and a line-by-line diff of
   two versions of it printed with "> " and "< " markers. *)

val yesterday = ["buy milk", "write report", "call the bank"]
val today = ["buy milk", "finish report", "call the bank", "book tickets"]

fun bullets items = app (fn item => print ("- " ^ item ^ "\n")) items

val _ = print "To do:\n"
val _ = bullets today

fun diff (old, new) =
  let
    fun go ([], []) = ()
      | go (x :: xs, []) = (print ("< " ^ x ^ "\n"); go (xs, []))
      | go ([], y :: ys) = (print ("> " ^ y ^ "\n"); go ([], ys))
      | go (x :: xs, y :: ys) =
          if x = y then go (xs, ys)
          else (print ("< " ^ x ^ "\n"); print ("> " ^ y ^ "\n"); go (xs, ys))
  in
    go (old, new)
  end

val _ = diff (yesterday, today)
val done' = List.filter (fn item => String.isPrefix "buy" item) today
val _ = print "- \n"
val remaining = length today - length done'
