(* Character literals, including the ones that look like brackets. *)

val open' = #"("
val close = #")"
val star = #"*"
val quote = #"\""
val backslash = #"\\"
val newline = #"\n"
val space = #" "

fun classify c =
  if c = #"(" orelse c = #"[" orelse c = #"{" then "opening"
  else if c = #")" orelse c = #"]" orelse c = #"}" then "closing"
  else if c = #"\"" then "quote"
  else if Char.isSpace c then "space"
  else "other"

val kinds = map classify [open', close, quote, space, #"x"]

fun balanced s =
  let
    fun go ([], depth) = depth = 0
      | go (#"(" :: cs, depth) = go (cs, depth + 1)
      | go (#")" :: cs, depth) = depth > 0 andalso go (cs, depth - 1)
      | go (_ :: cs, depth) = go (cs, depth)
  in
    go (String.explode s, 0)
  end

val b1 = balanced "(a (b) c)"
val b2 = balanced "(*)"
val b3 = balanced "())("
val code = Char.ord #"A"
val back = Char.chr 97
val digits = List.filter Char.isDigit (String.explode "a1b2c3")
