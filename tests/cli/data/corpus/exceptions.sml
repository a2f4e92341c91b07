(* Exceptions with and without arguments, raised, handled and re-raised. *)

exception NotFound
exception BadInput of string
exception Overflowed of {limit : int, value : int}

fun find pred [] = raise NotFound
  | find pred (x :: xs) = if pred x then x else find pred xs

fun parseInt s =
  case Int.fromString s of
      SOME n => n
    | NONE => raise BadInput s

fun checked limit n =
  if n > limit then raise Overflowed {limit = limit, value = n} else n

fun safeParse s =
  parseInt s handle BadInput what => (print ("bad input: " ^ what ^ "\n"); 0)

val a = find (fn x => x > 3) [1, 5, 2, 7]
val b = (find (fn x => x > 10) [1, 2]) handle NotFound => ~1
val c = safeParse "42"
val d = safeParse "forty-two"

fun describe e =
  case e of
      NotFound => "not found"
    | BadInput s => "bad input " ^ s
    | Overflowed {limit, value} => Int.toString value ^ " > " ^ Int.toString limit
    | Div => "division by zero"
    | _ => "something else: " ^ exnName e

val e1 = describe NotFound
val e2 = (checked 10 20; "fine") handle ex => describe ex
val e3 = (10 div 0; "fine") handle ex => describe ex

fun retry 0 f = f ()
  | retry n f = f () handle BadInput _ => retry (n - 1) f

val counter = ref 0
val result =
  retry 3 (fn () => (counter := !counter + 1;
                     if !counter < 3 then raise BadInput "not yet" else !counter))

fun cleanup f =
  (f (); "done") handle ex => (print "cleaning up\n"; raise ex)

val outer = cleanup (fn () => ()) handle _ => "unreachable"
val reraised = (cleanup (fn () => raise NotFound)) handle NotFound => "re-raised"
