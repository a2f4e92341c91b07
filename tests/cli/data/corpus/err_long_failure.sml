(* Validating a form; the error message is long and nobody handles it. *)

type form = {name : string, email : string, age : int}

fun validate ({name, email, age} : form) =
  if name = "" then raise Fail "the name field must not be empty"
  else if not (Char.contains email #"@") then
    raise Fail ("the email address " ^ email ^ " has no @ sign in it, so we cannot send the confirmation message that the registration requires")
  else if age < 0 then raise Fail "age must not be negative"
  else {name = name, email = email, age = age}

val ok = validate {name = "Dana", email = "dana@example.org", age = 30}
val bad = validate {name = "Eli", email = "eli.example.org", age = 25}
val never = validate {name = "Fay", email = "fay@example.org", age = 41}
