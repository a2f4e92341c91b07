(* ------------------------------------------------------------------
   Homework 3, problem 2.  Much of the earlier work is commented out
   below rather than deleted.
   ------------------------------------------------------------------ *)

(* val old = 1
   val older = 2
   structure Scratch = struct val x = 3 end
*)

fun sumList [] = 0
  | sumList (x :: xs) = x + sumList xs

(*
fun sumList xs =
  let fun go ([], acc) = acc
        | go (y :: ys, acc) = go (ys, acc + y)
  in go (xs, 0)
  end
*)

(* (* a comment inside a comment *) and the outer one continues with
   val, fun, let, local, end, sig, struct and abstype words *)

val total = sumList [1, 2, 3, 4]

(* the next function was tricky: "don't forget the empty case" *)
fun maxList [] = NONE
  | maxList (x :: xs) =
      (case maxList xs of
           NONE => SOME x
         | SOME m => SOME (if x > m then x else m))

(*
 * val test1 = maxList [] = NONE
 * val test2 = maxList [3, 9, 2] = SOME 9
 *)
val biggest = maxList [3, 9, 2]

(* unbalanced quote in a comment: it's fine, isn't it? " *)
val last = 0 (* trailing comment: end *)
(* a comment (* with (* three *) levels *) of nesting *)
val done' = true
