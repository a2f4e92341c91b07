(* An interpreter for a small stack machine. *)

datatype instr =
    Push of int
  | Pop
  | Add
  | Sub
  | Mul
  | Dup
  | Swap
  | Jz of int      (* jump to an absolute address when the top is zero *)
  | Jmp of int
  | Print
  | Halt

exception MachineError of string * int

fun step (program : instr vector) (pc, stack, out) =
  case (Vector.sub (program, pc), stack) of
      (Push n, s) => SOME (pc + 1, n :: s, out)
    | (Pop, _ :: s) => SOME (pc + 1, s, out)
    | (Add, a :: b :: s) => SOME (pc + 1, b + a :: s, out)
    | (Sub, a :: b :: s) => SOME (pc + 1, b - a :: s, out)
    | (Mul, a :: b :: s) => SOME (pc + 1, b * a :: s, out)
    | (Dup, a :: s) => SOME (pc + 1, a :: a :: s, out)
    | (Swap, a :: b :: s) => SOME (pc + 1, b :: a :: s, out)
    | (Jz target, a :: s) => SOME (if a = 0 then target else pc + 1, s, out)
    | (Jmp target, s) => SOME (target, s, out)
    | (Print, a :: s) => SOME (pc + 1, a :: s, Int.toString a :: out)
    | (Halt, _) => NONE
    | (_, _) => raise MachineError ("stack underflow", pc)

fun run program =
  let
    fun loop (state as (_, _, out)) =
      case step program state of
          NONE => rev out
        | SOME next => loop next
  in
    loop (0, [], [])
  end

(* count down from 5, printing each number:
     push 5; loop: print; push 1; sub; dup; jz end; jmp loop; end: halt *)
val countdown = Vector.fromList
  [Push 5, Print, Push 1, Sub, Dup, Jz 7, Jmp 1, Halt]

val printed = run countdown

val broken = (run (Vector.fromList [Add, Halt]); "ran")
  handle MachineError (msg, pc) => msg ^ " at " ^ Int.toString pc

val product = run (Vector.fromList [Push 6, Push 7, Mul, Print, Halt])
