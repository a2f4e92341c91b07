(* Functors applied to the results of functors, and signatures built
   with include. *)

signature SHOW = sig type t val show : t -> string end
signature EQ = sig type t val eq : t * t -> bool end
signature SHOW_EQ = sig include SHOW val eq : t * t -> bool end

functor ListShow (S : SHOW) : SHOW =
struct
  type t = S.t list
  fun show xs = "[" ^ String.concatWith ", " (map S.show xs) ^ "]"
end

functor PairShow (structure A : SHOW structure B : SHOW) : SHOW =
struct
  type t = A.t * B.t
  fun show (a, b) = "(" ^ A.show a ^ ", " ^ B.show b ^ ")"
end

functor WithEq (S : SHOW) : SHOW_EQ =
struct
  open S
  fun eq (a, b) = show a = show b
end

structure IntShow = struct type t = int val show = Int.toString end
structure BoolShow = struct type t = bool fun show true = "yes" | show false = "no" end

structure IntList = ListShow (IntShow)
structure IntListList = ListShow (ListShow (IntShow))
structure Mixed = PairShow (structure A = IntShow structure B = ListShow (BoolShow))
structure IntListEq = WithEq (ListShow (IntShow))

val a = IntList.show [1, 2, 3]
val b = IntListList.show [[1], [], [2, 3]]
val c = Mixed.show (7, [true, false])
val d = IntListEq.eq ([1, 2], [1, 2])
