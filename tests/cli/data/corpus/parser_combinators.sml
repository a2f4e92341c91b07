(* Parser combinators over character lists. *)

type 'a parser = char list -> ('a * char list) option

infix 3 >>= 
infix 2 <|>
infix 4 <$>

fun (p : 'a parser) >>= (f : 'a -> 'b parser) : 'b parser =
  fn input =>
    case p input of
        NONE => NONE
      | SOME (x, rest) => f x rest

fun (p : 'a parser) <|> (q : 'a parser) : 'a parser =
  fn input => case p input of NONE => q input | result => result

fun f <$> (p : 'a parser) : 'b parser =
  fn input => case p input of NONE => NONE | SOME (x, rest) => SOME (f x, rest)

fun return x : 'a parser = fn input => SOME (x, input)

fun satisfy pred : char parser =
  fn (c :: cs) => if pred c then SOME (c, cs) else NONE
   | [] => NONE

fun char c = satisfy (fn d => d = c)

fun many p = (p >>= (fn x => many p >>= (fn xs => return (x :: xs)))) <|> return []
fun many1 p = p >>= (fn x => many p >>= (fn xs => return (x :: xs)))

val digit = satisfy Char.isDigit
val spaces = many (char #" ")
fun token p = p >>= (fn x => spaces >>= (fn _ => return x))

val number =
  token ((fn ds => valOf (Int.fromString (String.implode ds))) <$> many1 digit)

fun symbol c = token (char c)

(* expr ::= term (('+' | '-') term)* ; term ::= factor ('*' factor)* *)
fun expr input =
  (term >>= (fn t => rest t)) input
and rest acc =
  (symbol #"+" >>= (fn _ => term >>= (fn t => rest (acc + t))))
  <|> (symbol #"-" >>= (fn _ => term >>= (fn t => rest (acc - t))))
  <|> return acc
and term input =
  (factor >>= (fn f => moreFactors f)) input
and moreFactors acc =
  (symbol #"*" >>= (fn _ => factor >>= (fn f => moreFactors (acc * f))))
  <|> return acc
and factor input =
  (number <|> (symbol #"(" >>= (fn _ => expr >>= (fn e => symbol #")" >>= (fn _ => return e))))) input

fun parse s =
  case expr (String.explode s) of
      SOME (v, []) => SOME v
    | _ => NONE

val r1 = parse "1 + 2 * 3"
val r2 = parse "(1 + 2) * 3"
val r3 = parse "2 * (3 + 4) - 5"
val bad = parse "2 + * 3"
