(* Expressions and declarations of a tiny language, mutually recursive:
   datatype ... and ..., plus a withtype abbreviation. *)

datatype expr =
    Num of int
  | Var of string
  | Add of expr * expr
  | Mul of expr * expr
  | Let of binding list * expr
and binding =
    Bind of string * expr
withtype env = (string * int) list

fun lookup (x, [] : env) = raise Fail ("unbound " ^ x)
  | lookup (x, (y, v) :: rest) = if x = y then v else lookup (x, rest)

fun eval (Num n, _) = n
  | eval (Var x, env) = lookup (x, env)
  | eval (Add (a, b), env) = eval (a, env) + eval (b, env)
  | eval (Mul (a, b), env) = eval (a, env) * eval (b, env)
  | eval (Let (bs, body), env) = eval (body, bindAll (bs, env))
and bindAll ([], env) = env
  | bindAll (Bind (x, e) :: rest, env) = bindAll (rest, (x, eval (e, env)) :: env)

fun show (Num n) = Int.toString n
  | show (Var x) = x
  | show (Add (a, b)) = "(" ^ show a ^ " + " ^ show b ^ ")"
  | show (Mul (a, b)) = show a ^ " * " ^ show b
  | show (Let (bs, e)) = "let " ^ String.concatWith " " (map showBinding bs) ^ " in " ^ show e ^ " end"
and showBinding (Bind (x, e)) = "val " ^ x ^ " = " ^ show e

val program =
  Let ([Bind ("x", Num 3), Bind ("y", Add (Var "x", Num 4))],
       Mul (Var "x", Var "y"))

val text = show program
val value = eval (program, [])

(* even/odd, the classic pair of mutually recursive functions *)
fun isEven 0 = true
  | isEven n = isOdd (n - 1)
and isOdd 0 = false
  | isOdd n = isEven (n - 1)

val checks = (isEven 10, isOdd 7, isEven 3)

datatype 'a rose = Rose of 'a * 'a forest
withtype 'a forest = 'a rose list

fun flatten (Rose (x, kids)) = x :: List.concat (map flatten kids)

val leaves = flatten (Rose (1, [Rose (2, []), Rose (3, [Rose (4, [])])]))
