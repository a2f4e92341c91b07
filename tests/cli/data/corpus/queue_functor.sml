(* A bounded queue, made by a functor whose parameter is a list of
   specifications rather than a structure. *)

signature BOUNDED_QUEUE =
sig
  type 'a queue
  exception Full
  exception Empty
  val empty : 'a queue
  val isEmpty : 'a queue -> bool
  val enqueue : 'a * 'a queue -> 'a queue
  val dequeue : 'a queue -> 'a * 'a queue
  val capacity : int
  val name : string
end

functor BoundedQueue (val capacity : int  val name : string) :> BOUNDED_QUEUE =
struct
  (* front list and reversed back list, with the total size *)
  type 'a queue = 'a list * 'a list * int
  exception Full
  exception Empty
  val capacity = capacity
  val name = name
  val empty = ([], [], 0)
  fun isEmpty (_, _, n) = n = 0
  fun enqueue (x, (f, b, n)) =
    if n >= capacity then raise Full else (f, x :: b, n + 1)
  fun dequeue ([], [], _) = raise Empty
    | dequeue ([], b, n) = dequeue (rev b, [], n)
    | dequeue (x :: f, b, n) = (x, (f, b, n - 1))
end

structure Small = BoundedQueue (val capacity = 3  val name = "small")
structure Large = BoundedQueue (val capacity = 1000 val name = "large")

local
  open Small
in
  val q1 = enqueue (1, enqueue (2, empty))
  val (first, q2) = dequeue q1
  val overflow =
    (enqueue (4, enqueue (3, enqueue (2, enqueue (1, empty)))); "no overflow")
    handle Full => name ^ " is full"
end

fun drain q =
  if Large.isEmpty q then []
  else let val (x, rest) = Large.dequeue q in x :: drain rest end

val drained = drain (foldl Large.enqueue Large.empty [5, 6, 7, 8])
