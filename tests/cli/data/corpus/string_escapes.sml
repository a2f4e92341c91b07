(* Strings that would confuse a reader who only looks at words:
   they hold end, comment brackets, quotes, backslashes and gaps. *)

val closing = "this is the end"
val opener = "a comment starts with (* and that is all"
val closer = "and ends with *) but not here"
val quoted = "she said \"let val x = 1 in x end\" twice"
val backslash = "C:\\temp\\"
val tabbed = "col1\tcol2\tcol3\n"
val control = "\^G bell and \^[ escape"
val decimal = "\065\066\067"
val accented = "caf\233"
val gap = "a long message that \
          \goes on over \
          \three lines; val inside = 1"
val empty = ""
val onlyQuote = "\""

fun describe s =
  Int.toString (size s) ^ " characters: " ^ String.toString s

val _ = print (describe closing ^ "\n")
val _ = print (describe gap ^ "\n")

val lines = String.tokens (fn c => c = #"\n") "first line\nsecond line\nthird"
val words = String.fields (fn c => c = #" ") "struct sig end"
val joined = String.concatWith "\\" ["a", "b", "c"]

(* a quote inside a comment: " is not a string here *)
val count = length lines + length words

val endsWithEnd = String.isSuffix "end" closing
val hasOpener = String.isSubstring "(*" opener
