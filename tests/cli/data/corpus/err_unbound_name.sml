(* Temperature conversion table *)

fun toFahrenheit c = c * 9.0 / 5.0 + 32.0
fun toCelsius f = (f - 32.0) * 5.0 / 9.0

val celsius = [~40.0, 0.0, 37.0, 100.0]

val table = map (fn c => (c, toFahrenheit c)) celsius

(* typo: toFarenheit *)
val boiling = toFarenheit 100.0

val back = map toCelsius [32.0, 212.0]
fun show (c, f) = Real.toString c ^ " C = " ^ Real.toString f ^ " F"
val lines = map show table
