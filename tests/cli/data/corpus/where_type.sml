(* Signatures refined with where type, and opaque ascription. *)

signature ORDERED =
sig
  type t
  val compare : t * t -> order
end

signature SET =
sig
  type elem
  type set
  val empty : set
  val add : elem * set -> set
  val contains : elem * set -> bool
  val items : set -> elem list
end

functor ListSet (O : ORDERED) :> SET where type elem = O.t =
struct
  type elem = O.t
  type set = elem list
  val empty = []
  fun add (x, []) = [x]
    | add (x, y :: ys) =
        (case O.compare (x, y) of
             LESS => x :: y :: ys
           | EQUAL => y :: ys
           | GREATER => y :: add (x, ys))
  fun contains (x, s) = List.exists (fn y => O.compare (x, y) = EQUAL) s
  fun items s = s
end

structure IntOrd : ORDERED = struct type t = int val compare = Int.compare end
structure StringOrd = struct type t = string val compare = String.compare end

structure IntSet = ListSet (IntOrd)
structure StringSet = ListSet (StringOrd)

signature INT_SET = SET where type elem = int
signature PAIR_SET = SET where type elem = int * int and type set = (int * int) list

val nums = IntSet.items (foldl IntSet.add IntSet.empty [3, 1, 2, 3])
val names = StringSet.items (foldl StringSet.add StringSet.empty ["where", "type", "end"])

structure Pairs : PAIR_SET =
struct
  type elem = int * int
  type set = (int * int) list
  val empty = []
  fun add (p, s) = if List.exists (fn q => q = p) s then s else p :: s
  fun contains (p, s) = List.exists (fn q => q = p) s
  fun items s = s
end

val ps = Pairs.add ((1, 2), Pairs.add ((1, 2), Pairs.empty))
val rawAccess = length ps
