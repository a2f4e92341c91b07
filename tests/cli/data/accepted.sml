(* Every declaration here is accepted. *)
val greeting = "hello"

fun twice f x = f (f x)
datatype shape = Circle of real | Square of real
val four = twice (fn n => n * 2) 1
