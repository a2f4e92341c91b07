(* Operators of our own: infix, infixr, op and symbolic names. *)

infix 5 <+>
infixr 5 ++
infix 4 ===
infixr 0 $
infix 1 |>

fun (a, b) <+> (c, d) = (a + c, b + d)
fun xs ++ ys = xs @ ys
fun x === y = Real.abs (x - y) < 1E~9
fun f $ x = f x
fun x |> f = f x

val v = (1, 2) <+> (3, 4) <+> (10, 20)
val l = [1] ++ [2, 3] ++ [4]
val close = 0.1 + 0.2 === 0.3
val shown = Int.toString $ 6 * 7
val piped = [3, 1, 2] |> map (fn x => x * x) |> foldl op+ 0

val add = op+
val mul = op*
val sum = foldl op+ 0 [1, 2, 3, 4]
val product = foldl op* 1 [1, 2, 3, 4]
val pairs = ListPair.map op<+> ([(1, 1)], [(2, 2)])

nonfix <+>
val again = <+> ((1, 1), (1, 1))
infix 5 <+>

infixr 6 ::: 
datatype 'a seq = Nil | ::: of 'a * 'a seq
val s = 1 ::: 2 ::: 3 ::: Nil
fun seqLength Nil = 0
  | seqLength (_ ::: rest) = 1 + seqLength rest
val len = seqLength s

val composed = (Int.toString o (fn x => x + 1)) 41
val compare = op< (1, 2)
