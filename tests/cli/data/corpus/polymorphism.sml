(* Polymorphic functions, equality type variables and explicit type variables. *)

fun identity x = x
fun const x _ = x
fun compose (f, g) x = f (g x)
fun curry f x y = f (x, y)
fun uncurry f (x, y) = f x y
fun flip f (x, y) = f (y, x)

fun member (x : ''a, ys : ''a list) = List.exists (fn y => y = x) ys

fun 'a replicate (n, x : 'a) : 'a list = if n <= 0 then [] else x :: replicate (n - 1, x)

fun dedup [] = []
  | dedup (x :: xs) = x :: dedup (List.filter (fn y => y <> x) xs)

val ints = replicate (3, 7)
val strs = replicate (2, "end")
val hasEnd = member ("end", ["let", "in", "end"])
val unique = dedup [1, 2, 1, 3, 2, 4]

fun pairUp x = curry (fn (a, b) => (a, b)) x
val p = pairUp 1 "one"
val swapped = flip (fn (a, b) => a - b) (1, 10)

datatype ('k, 'v) assoc = Assoc of ('k * 'v) list

fun get (Assoc kvs) (k : ''k) =
  case List.find (fn (k', _) => k' = k) kvs of
      SOME (_, v) => SOME v
    | NONE => NONE

val table = Assoc [("one", 1), ("two", 2)]
val two = get table "two"

val pipeline = compose (Int.toString, compose (fn x => x * 2, fn x => x + 1))
val result = pipeline 20

fun mapPair f (a, b) = (f a, f b)
val doubled = mapPair (fn x => x * 2) (3, 4)
val lengths = mapPair String.size ("sig", "struct")
