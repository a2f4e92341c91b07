(* Unit tests for a string utility, ending the session the way a CI
   job does: exit with success when everything passed. *)

fun capitalize s =
  case String.explode s of
      [] => ""
    | c :: cs => String.implode (Char.toUpper c :: cs)

fun words s = String.tokens Char.isSpace s
fun titleCase s = String.concatWith " " (map capitalize (words s))

val tests =
  [("empty", capitalize "" = ""),
   ("one letter", capitalize "a" = "A"),
   ("word", capitalize "end" = "End"),
   ("title", titleCase "let it be" = "Let It Be"),
   ("spaces", titleCase "  sig   struct " = "Sig Struct")]

val failed = List.filter (fn (_, ok) => not ok) tests
val _ = app (fn (name, _) => print ("failed: " ^ name ^ "\n")) failed
val _ = print (Int.toString (length tests - length failed) ^ "/" ^ Int.toString (length tests) ^ " tests passed\n")

val () = OS.Process.exit (if null failed then OS.Process.success else OS.Process.failure)
