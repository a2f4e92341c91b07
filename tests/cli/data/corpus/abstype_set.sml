(* Sets as sorted lists behind an abstype: outside the with ... end part
   nobody can see that a set is a list. *)

abstype intset = Set of int list
with
  val empty = Set []

  fun insert (x, Set xs) =
    let
      fun ins [] = [x]
        | ins (y :: ys) =
            if x < y then x :: y :: ys
            else if x = y then y :: ys
            else y :: ins ys
    in
      Set (ins xs)
    end

  fun member (x, Set xs) = List.exists (fn y => y = x) xs

  fun union (Set xs, s) = foldl insert s xs

  fun toList (Set xs) = xs

  fun size (Set xs) = length xs
end

val s1 = foldl insert empty [5, 3, 9, 3, 1]
val s2 = foldl insert empty [2, 3, 4]
val both = union (s1, s2)
val elements = toList both
val count = size both
val hasNine = member (9, both)

(* A second abstype, with a withtype-free datatype and an exception inside. *)
abstype 'a bag = Bag of ('a * int) list
with
  exception NotInBag
  val emptyBag = Bag []
  fun add (x, Bag items) =
    case List.partition (fn (y, _) => y = x) items of
        ([(_, n)], rest) => Bag ((x, n + 1) :: rest)
      | (_, rest) => Bag ((x, 1) :: rest)
  fun countOf (x, Bag items) =
    case List.find (fn (y, _) => y = x) items of
        SOME (_, n) => n
      | NONE => raise NotInBag
end

val words = foldl add emptyBag ["end", "let", "end", "in", "end"]
val ends = countOf ("end", words)
val lets = countOf ("let", words)
val nones = countOf ("struct", words) handle NotInBag => 0
