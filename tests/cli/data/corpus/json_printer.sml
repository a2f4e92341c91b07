(* Printing JSON values with the escapes JSON wants. *)

datatype json =
    JNull
  | JBool of bool
  | JNum of int
  | JStr of string
  | JArr of json list
  | JObj of (string * json) list

fun escapeChar #"\"" = "\\\""
  | escapeChar #"\\" = "\\\\"
  | escapeChar #"\n" = "\\n"
  | escapeChar #"\t" = "\\t"
  | escapeChar c = String.str c

fun quote s = "\"" ^ String.translate escapeChar s ^ "\""

fun render JNull = "null"
  | render (JBool b) = if b then "true" else "false"
  | render (JNum n) = if n < 0 then "-" ^ Int.toString (~n) else Int.toString n
  | render (JStr s) = quote s
  | render (JArr xs) = "[" ^ String.concatWith "," (map render xs) ^ "]"
  | render (JObj fields) =
      "{" ^ String.concatWith "," (map (fn (k, v) => quote k ^ ":" ^ render v) fields) ^ "}"

val doc =
  JObj [("name", JStr "say \"end\""),
        ("path", JStr "C:\\sml\\"),
        ("lines", JArr [JStr "first\nsecond", JStr "(* not a comment *)"]),
        ("count", JNum ~3),
        ("ok", JBool true),
        ("nothing", JNull)]

val text = render doc
val _ = print (text ^ "\n")
val length = size text
