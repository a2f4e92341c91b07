(* Binary search trees over integers.

   Note to self: the fun below used to be a val with fn, and there was a
   structure Tree = struct ... end around all of this; the end of that
   structure is gone now, so do not look for it. *)

datatype tree = Leaf | Node of tree * int * tree

fun insert (Leaf, x) = Node (Leaf, x, Leaf)
  | insert (t as Node (l, y, r), x) =
      if x < y then Node (insert (l, x), y, r)
      else if x > y then Node (l, y, insert (r, x))
      else t

fun member (Leaf, _) = false
  | member (Node (l, y, r), x) =
      x = y orelse (if x < y then member (l, x) else member (r, x))

(* in-order traversal; (* nested comment: the old version used @ and was
   quadratic *) this one threads an accumulator *)
fun toList t =
  let
    fun go (Leaf, acc) = acc
      | go (Node (l, x, r), acc) = go (l, x :: go (r, acc))
  in
    go (t, [])
  end

fun fromList xs = foldl (fn (x, t) => insert (t, x)) Leaf xs

fun height Leaf = 0
  | height (Node (l, _, r)) = 1 + Int.max (height l, height r)

(* fun delete (Leaf, _) = Leaf
     | delete (Node (l, y, r), x) = ...   -- unfinished, val rest = ... *)

val sample = fromList [50, 30, 70, 20, 40, 60, 80, 35]
val sorted = toList sample
val h = height sample
val has40 = member (sample, 40)
val has45 = member (sample, 45)

fun size Leaf = 0
  | size (Node (l, _, r)) = size l + 1 + size r

val n = size sample
