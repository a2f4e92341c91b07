(* A stack that does not implement its whole signature. *)

signature STACK =
sig
  type 'a stack
  val empty : 'a stack
  val push : 'a * 'a stack -> 'a stack
  val pop : 'a stack -> ('a * 'a stack) option
  val size : 'a stack -> int
end

structure ListStack =
struct
  type 'a stack = 'a list
  val empty = []
  fun push (x, s) = x :: s
  fun pop [] = NONE
    | pop (x :: s) = SOME (x, s)
end

structure S : STACK = ListStack

val s = S.push (1, S.push (2, S.empty))
val top = S.pop s
