(* Prüfung: 𝔸 — text that is not ASCII before the first declaration *)
val x = 1
fun f 0 = 1
datatype colour = Red | Green
val s = "plain" (* ü *)
val y = x +
val never = 2
