(* Configuration parsing: key=value lines.  One line is malformed and
   nothing catches the Fail it raises. *)

fun splitAt c s =
  case String.fields (fn d => d = c) s of
      [k, v] => (k, v)
    | _ => raise Fail ("malformed line: " ^ s)

fun parseConfig lines = map (splitAt #"=") lines

val good = parseConfig ["name=ostrich", "size=3"]

fun get key config =
  case List.find (fn (k, _) => k = key) config of
      SOME (_, v) => v
    | NONE => raise Fail ("missing key " ^ key)

val name = get "name" good

val bad = parseConfig ["name=emu", "this line has no equals sign", "size=2"]

val size' = get "size" good
