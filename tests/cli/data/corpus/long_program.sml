(* ====================================================================
   A small functional language: lexer, parser, type checker and
   evaluator, with a test run at the end.  About three hundred lines,
   in the style of a course project.
   ==================================================================== *)

(* ---------- tokens ---------- *)

datatype token =
    INT of int
  | ID of string
  | KW of string          (* let, in, end, fn, if, then, else, true, false *)
  | SYM of string         (* ( ) => = + - * < , *)
  | EOF

val keywords = ["let", "val", "in", "end", "fn", "if", "then", "else", "true", "false"]

exception LexError of string

structure Lexer =
struct
  fun isIdChar c = Char.isAlphaNum c orelse c = #"_" orelse c = #"'"

  fun lex (s : string) : token list =
    let
      val n = size s
      fun at i = String.sub (s, i)
      fun skipComment (i, depth) =
        if i + 1 >= n then raise LexError "unclosed comment"
        else if at i = #"(" andalso at (i + 1) = #"*" then skipComment (i + 2, depth + 1)
        else if at i = #"*" andalso at (i + 1) = #")" then
          (if depth = 1 then i + 2 else skipComment (i + 2, depth - 1))
        else skipComment (i + 1, depth)
      fun go (i, acc) =
        if i >= n then rev (EOF :: acc)
        else
          let
            val c = at i
          in
            if Char.isSpace c then go (i + 1, acc)
            else if c = #"(" andalso i + 1 < n andalso at (i + 1) = #"*" then go (skipComment (i, 0), acc)
            else if Char.isDigit c then
              let
                fun digits j = if j < n andalso Char.isDigit (at j) then digits (j + 1) else j
                val j = digits i
              in
                go (j, INT (valOf (Int.fromString (String.substring (s, i, j - i)))) :: acc)
              end
            else if Char.isAlpha c then
              let
                fun ident j = if j < n andalso isIdChar (at j) then ident (j + 1) else j
                val j = ident i
                val word = String.substring (s, i, j - i)
              in
                go (j, (if List.exists (fn k => k = word) keywords then KW word else ID word) :: acc)
              end
            else if c = #"=" andalso i + 1 < n andalso at (i + 1) = #">" then go (i + 2, SYM "=>" :: acc)
            else if Char.contains "()=+-*<," c then go (i + 1, SYM (String.str c) :: acc)
            else raise LexError ("unexpected character " ^ Char.toString c)
          end
    in
      go (0, [])
    end
end

(* ---------- syntax ---------- *)

datatype ty = TInt | TBool | TArrow of ty * ty | TVar of int

datatype exp =
    Lit of int
  | Bool of bool
  | Var of string
  | Prim of string * exp * exp
  | If of exp * exp * exp
  | Fn of string * exp
  | App of exp * exp
  | Let of string * exp * exp

exception ParseError of string

structure Parser =
struct
  (* exp  ::= fn x => exp | if exp then exp else exp | let val x = exp in exp end | cmp
     cmp  ::= sum [< sum]
     sum  ::= prod {(+|-) prod}
     prod ::= app {* app}
     app  ::= atom {atom} *)
  fun expect (t, t' :: rest) = if t = t' then rest else raise ParseError "unexpected token"
    | expect (_, []) = raise ParseError "unexpected end"

  fun exp (KW "fn" :: ID x :: SYM "=>" :: rest) =
        let val (body, rest) = exp rest in (Fn (x, body), rest) end
    | exp (KW "if" :: rest) =
        let
          val (c, rest) = exp rest
          val (t, rest) = exp (expect (KW "then", rest))
          val (e, rest) = exp (expect (KW "else", rest))
        in
          (If (c, t, e), rest)
        end
    | exp (KW "let" :: KW "val" :: ID x :: SYM "=" :: rest) =
        let
          val (bound, rest) = exp rest
          val (body, rest) = exp (expect (KW "in", rest))
        in
          (Let (x, bound, body), expect (KW "end", rest))
        end
    | exp toks = cmp toks
  and cmp toks =
        let val (a, rest) = sum toks
        in
          case rest of
              SYM "<" :: rest' => let val (b, rest'') = sum rest' in (Prim ("<", a, b), rest'') end
            | _ => (a, rest)
        end
  and sum toks =
        let
          fun more (a, SYM "+" :: rest) = let val (b, r) = prod rest in more (Prim ("+", a, b), r) end
            | more (a, SYM "-" :: rest) = let val (b, r) = prod rest in more (Prim ("-", a, b), r) end
            | more (a, rest) = (a, rest)
        in
          more (prod toks)
        end
  and prod toks =
        let
          fun more (a, SYM "*" :: rest) = let val (b, r) = app rest in more (Prim ("*", a, b), r) end
            | more (a, rest) = (a, rest)
        in
          more (app toks)
        end
  and app toks =
        let
          fun more (f, toks) =
            case atom toks of
                SOME (a, rest) => more (App (f, a), rest)
              | NONE => (f, toks)
        in
          case atom toks of
              SOME (a, rest) => more (a, rest)
            | NONE => raise ParseError "expression expected"
        end
  and atom (INT n :: rest) = SOME (Lit n, rest)
    | atom (KW "true" :: rest) = SOME (Bool true, rest)
    | atom (KW "false" :: rest) = SOME (Bool false, rest)
    | atom (ID x :: rest) = SOME (Var x, rest)
    | atom (SYM "(" :: rest) =
        let val (e, rest) = exp rest in SOME (e, expect (SYM ")", rest)) end
    | atom _ = NONE

  fun parse s =
    case exp (Lexer.lex s) of
        (e, [EOF]) => e
      | _ => raise ParseError "trailing input"
end

(* ---------- types ---------- *)

exception TypeError of string

structure Types =
struct
  val counter = ref 0
  fun fresh () = (counter := !counter + 1; TVar (!counter))

  type subst = (int * ty) list

  fun apply (s : subst) (TVar v) =
        (case List.find (fn (v', _) => v = v') s of
             SOME (_, t) => apply s t
           | NONE => TVar v)
    | apply s (TArrow (a, b)) = TArrow (apply s a, apply s b)
    | apply _ t = t

  fun occurs v (TVar w) = v = w
    | occurs v (TArrow (a, b)) = occurs v a orelse occurs v b
    | occurs _ _ = false

  fun unify (s, t1, t2) =
    case (apply s t1, apply s t2) of
        (TInt, TInt) => s
      | (TBool, TBool) => s
      | (TVar v, TVar w) => if v = w then s else (v, TVar w) :: s
      | (TVar v, t) => if occurs v t then raise TypeError "circular type" else (v, t) :: s
      | (t, TVar v) => unify (s, TVar v, t)
      | (TArrow (a, b), TArrow (c, d)) => unify (unify (s, a, c), b, d)
      | _ => raise TypeError "type mismatch"

  fun infer (env, s, Lit _) = (TInt, s)
    | infer (env, s, Bool _) = (TBool, s)
    | infer (env, s, Var x) =
        (case List.find (fn (y, _) => y = x) env of
             SOME (_, t) => (t, s)
           | NONE => raise TypeError ("unbound variable " ^ x))
    | infer (env, s, Prim (oper, a, b)) =
        let
          val (ta, s) = infer (env, s, a)
          val (tb, s) = infer (env, s, b)
          val s = unify (unify (s, ta, TInt), tb, TInt)
        in
          (if oper = "<" then TBool else TInt, s)
        end
    | infer (env, s, If (c, t, e)) =
        let
          val (tc, s) = infer (env, s, c)
          val s = unify (s, tc, TBool)
          val (tt, s) = infer (env, s, t)
          val (te, s) = infer (env, s, e)
        in
          (tt, unify (s, tt, te))
        end
    | infer (env, s, Fn (x, body)) =
        let
          val a = fresh ()
          val (tb, s) = infer ((x, a) :: env, s, body)
        in
          (TArrow (a, tb), s)
        end
    | infer (env, s, App (f, a)) =
        let
          val (tf, s) = infer (env, s, f)
          val (ta, s) = infer (env, s, a)
          val r = fresh ()
        in
          (r, unify (s, tf, TArrow (ta, r)))
        end
    | infer (env, s, Let (x, e, body)) =
        let val (te, s) = infer (env, s, e)
        in infer ((x, te) :: env, s, body) end

  fun typeOf e = let val (t, s) = infer ([], [], e) in apply s t end

  fun show TInt = "int"
    | show TBool = "bool"
    | show (TVar v) = "'t" ^ Int.toString v
    | show (TArrow (a as TArrow _, b)) = "(" ^ show a ^ ") -> " ^ show b
    | show (TArrow (a, b)) = show a ^ " -> " ^ show b
end

(* ---------- evaluation ---------- *)

datatype value = VInt of int | VBool of bool | VClosure of string * exp * (string * value) list

exception RuntimeError of string

fun eval env (Lit n) = VInt n
  | eval env (Bool b) = VBool b
  | eval env (Var x) =
      (case List.find (fn (y, _) => y = x) env of
           SOME (_, v) => v
         | NONE => raise RuntimeError ("unbound " ^ x))
  | eval env (Prim (oper, a, b)) =
      (case (oper, eval env a, eval env b) of
           ("+", VInt m, VInt n) => VInt (m + n)
         | ("-", VInt m, VInt n) => VInt (m - n)
         | ("*", VInt m, VInt n) => VInt (m * n)
         | ("<", VInt m, VInt n) => VBool (m < n)
         | _ => raise RuntimeError "bad primitive")
  | eval env (If (c, t, e)) =
      (case eval env c of
           VBool true => eval env t
         | VBool false => eval env e
         | _ => raise RuntimeError "if on a non-boolean")
  | eval env (Fn (x, body)) = VClosure (x, body, env)
  | eval env (App (f, a)) =
      (case eval env f of
           VClosure (x, body, cenv) => eval ((x, eval env a) :: cenv) body
         | _ => raise RuntimeError "applying a non-function")
  | eval env (Let (x, e, body)) = eval ((x, eval env e) :: env) body

fun showValue (VInt n) = Int.toString n
  | showValue (VBool b) = Bool.toString b
  | showValue (VClosure _) = "<fn>"

(* ---------- driver ---------- *)

fun run source =
  let
    val e = Parser.parse source
    val t = Types.show (Types.typeOf e)
    val v = showValue (eval [] e)
  in
    v ^ " : " ^ t
  end
  handle LexError m => "lex error: " ^ m
       | ParseError m => "parse error: " ^ m
       | TypeError m => "type error: " ^ m
       | RuntimeError m => "runtime error: " ^ m

val programs =
  ["1 + 2 * 3",
   "let val x = 5 in x * x end",
   "(fn x => x + 1) 41",
   "if 1 < 2 then 10 else 20",
   "let val twice = fn f => fn x => f (f x) in twice (fn y => y * 3) 2 end",
   "(* a comment in the program *) 7",
   "1 + true",
   "let val x = 1 in y end",
   "fn x => x",
   "(1 + 2"]

val results = map run programs
val _ = app (fn r => print (r ^ "\n")) results
