(* Rational numbers with their own operators. *)

signature RATIONAL =
sig
  type rat
  exception DivideByZero
  val make : int * int -> rat
  val + : rat * rat -> rat
  val - : rat * rat -> rat
  val * : rat * rat -> rat
  val / : rat * rat -> rat
  val toString : rat -> string
  val compare : rat * rat -> order
end

structure Rational :> RATIONAL =
struct
  type rat = int * int
  exception DivideByZero

  fun gcd (a, 0) = Int.abs a
    | gcd (a, b) = gcd (b, a mod b)

  fun make (_, 0) = raise DivideByZero
    | make (n, d) =
        let
          val g = gcd (n, d)
          val sign = if d < 0 then ~1 else 1
        in
          (sign * n div g, sign * d div g)
        end

  fun (a, b) + (c, d) = make (Int.+ (Int.* (a, d), Int.* (c, b)), Int.* (b, d))
  fun (a, b) - (c, d) = make (Int.- (Int.* (a, d), Int.* (c, b)), Int.* (b, d))
  fun (a, b) * (c, d) = make (Int.* (a, c), Int.* (b, d))
  fun (a, b) / (c, d) = make (Int.* (a, d), Int.* (b, c))

  fun toString (n, 1) = Int.toString n
    | toString (n, d) = Int.toString n ^ "/" ^ Int.toString d

  fun compare ((a, b), (c, d)) = Int.compare (Int.* (a, d), Int.* (c, b))
end

local
  open Rational
  infix 6 + -
  infix 7 * /
in
  val half = make (1, 2)
  val third = make (1, 3)
  val sum = toString (half + third)
  val diff = toString (half - third)
  val prod = toString (half * third)
  val quot = toString (half / third)
  val order = compare (half, third)
end

val zero = Rational.make (0, 5)
val bad = (Rational./ (Rational.make (1, 2), zero); "divided") handle Rational.DivideByZero => "division by zero"
val plainInts = 1 + 2 * 3
