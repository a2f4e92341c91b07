(* Leftist heaps, parameterised by an ordered element structure. *)

signature ORD =
sig
  type t
  val leq : t * t -> bool
end

signature HEAP =
sig
  structure Elem : ORD
  type heap
  exception EmptyHeap
  val empty : heap
  val isEmpty : heap -> bool
  val insert : Elem.t * heap -> heap
  val findMin : heap -> Elem.t
  val deleteMin : heap -> heap
end

functor LeftistHeap (structure Element : ORD) : HEAP =
struct
  structure Elem = Element
  datatype heap = E | T of int * Elem.t * heap * heap
  exception EmptyHeap

  fun rank E = 0
    | rank (T (r, _, _, _)) = r

  fun makeT (x, a, b) =
    if rank a >= rank b then T (rank b + 1, x, a, b) else T (rank a + 1, x, b, a)

  fun merge (h, E) = h
    | merge (E, h) = h
    | merge (h1 as T (_, x, a1, b1), h2 as T (_, y, a2, b2)) =
        if Elem.leq (x, y) then makeT (x, a1, merge (b1, h2))
        else makeT (y, a2, merge (h1, b2))

  val empty = E
  fun isEmpty E = true
    | isEmpty _ = false
  fun insert (x, h) = merge (T (1, x, E, E), h)
  fun findMin E = raise EmptyHeap
    | findMin (T (_, x, _, _)) = x
  fun deleteMin E = raise EmptyHeap
    | deleteMin (T (_, _, a, b)) = merge (a, b)
end

structure IntHeap = LeftistHeap (structure Element = struct type t = int val leq = op<= end)

structure TaskHeap =
  LeftistHeap (structure Element =
                 struct
                   type t = int * string
                   fun leq ((p, _), (q, _)) = p <= q
                 end)

fun heapSort xs =
  let
    fun drain h = if IntHeap.isEmpty h then [] else IntHeap.findMin h :: drain (IntHeap.deleteMin h)
  in
    drain (foldl IntHeap.insert IntHeap.empty xs)
  end

val sorted = heapSort [5, 2, 8, 1, 9, 3]
val tasks = foldl TaskHeap.insert TaskHeap.empty [(3, "write"), (1, "read"), (2, "think")]
val firstTask = #2 (TaskHeap.findMin tasks)
val emptyMin = (IntHeap.findMin IntHeap.empty; "some") handle IntHeap.EmptyHeap => "empty heap"
