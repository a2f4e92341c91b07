(* Functors whose parameters must agree on a type: sharing constraints. *)

signature SYMBOL =
sig
  eqtype symbol
  val intern : string -> symbol
  val name : symbol -> string
end

signature LEXER =
sig
  structure Sym : SYMBOL
  val words : string -> Sym.symbol list
end

signature TABLE =
sig
  structure Sym : SYMBOL
  type 'a table
  val empty : 'a table
  val bind : Sym.symbol * 'a * 'a table -> 'a table
  val find : Sym.symbol * 'a table -> 'a option
end

structure Symbol : SYMBOL =
struct
  type symbol = string
  fun intern s = s
  fun name s = s
end

structure Lexer : LEXER =
struct
  structure Sym = Symbol
  fun words s = map Sym.intern (String.tokens Char.isSpace s)
end

structure Table : TABLE =
struct
  structure Sym = Symbol
  type 'a table = (Sym.symbol * 'a) list
  val empty = []
  fun bind (k, v, t) = (k, v) :: t
  fun find (k, []) = NONE
    | find (k, (k', v) :: rest) = if k = k' then SOME v else find (k, rest)
end

functor Counter (structure L : LEXER
                 structure T : TABLE
                 sharing type L.Sym.symbol = T.Sym.symbol) =
struct
  fun count text =
    foldl (fn (w, t) => T.bind (w, 1 + getOpt (T.find (w, t), 0), t)) T.empty (L.words text)
  fun lookup (t, word) = getOpt (T.find (L.Sym.intern word, t), 0)
end

structure C = Counter (structure L = Lexer structure T = Table)

val counts = C.count "let x in x end let y in y end"
val lets = C.lookup (counts, "let")
val ends = C.lookup (counts, "end")

signature PAIR =
sig
  structure A : SYMBOL
  structure B : SYMBOL
  sharing A = B
end
