(* Word frequencies with a let that is never closed. *)

fun count (w, []) = [(w, 1)]
  | count (w, (v, n) :: rest) = if v = w then (v, n + 1) :: rest else (v, n) :: count (w, rest)

fun frequencies text =
  let
    val words = String.tokens Char.isSpace text
    val lower = map (String.map Char.toLower) words
  in
    foldl count [] lower

val f = frequencies "the end is the end"

fun mostCommon fs = foldl (fn ((w, n), (bw, bn)) => if n > bn then (w, n) else (bw, bn)) ("", 0) fs
val top = mostCommon f
