(* Word and character statistics of a text. *)

val text =
  "The end is not near. Let us sig and struct; local val fun in the end.\n\
  \Second line: (* this is not a comment *) \"and this is quoted\".\n"

fun isWordChar c = Char.isAlpha c orelse c = #"'"

val words = String.tokens (not o isWordChar) text
val wordCount = length words

fun countChar c = length (List.filter (fn d => d = c) (String.explode text))

val spaces = countChar #" "
val quotes = countChar #"\""
val parens = countChar #"(" + countChar #")"
val stars = countChar #"*"
val newlines = countChar #"\n"

fun frequencies ws =
  let
    fun bump (w, []) = [(w, 1)]
      | bump (w, (v, n) :: rest) = if v = w then (v, n + 1) :: rest else (v, n) :: bump (w, rest)
  in
    foldl bump [] (map (String.map Char.toLower) ws)
  end

val freq = frequencies words
val ends = case List.find (fn (w, _) => w = "end") freq of SOME (_, n) => n | NONE => 0

val sub = Substring.full text
val (before', after) = Substring.position "Second" sub
val firstLine = Substring.string before'
val trimmed = Substring.string (Substring.dropr Char.isSpace after)

val upper = String.map Char.toUpper "let ... in ... end"
val capitalised =
  case String.explode "word" of
      c :: cs => String.implode (Char.toUpper c :: cs)
    | [] => ""
