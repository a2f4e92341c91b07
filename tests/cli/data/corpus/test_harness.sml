(* A little test harness: run the checks, report, and exit with success
   when all of them pass, the way a grader runs it. *)

val failures = ref 0
val passes = ref 0

fun check (name, ok) =
  if ok then passes := !passes + 1
  else (failures := !failures + 1; print ("FAIL: " ^ name ^ "\n"))

fun fact 0 = 1
  | fact n = n * fact (n - 1)

fun fib n = if n < 2 then n else fib (n - 1) + fib (n - 2)

fun rev' xs = foldl (op ::) [] xs

val _ = check ("fact 0", fact 0 = 1)
val _ = check ("fact 5", fact 5 = 120)
val _ = check ("fib 10", fib 10 = 55)
val _ = check ("rev", rev' [1, 2, 3] = [3, 2, 1])
val _ = check ("rev empty", null (rev' []))
val _ = check ("string", String.implode (rev (String.explode "abc")) = "cba")

val _ = print (Int.toString (!passes) ^ " passed, " ^ Int.toString (!failures) ^ " failed\n")

val _ = if !failures = 0
        then OS.Process.exit OS.Process.success
        else OS.Process.exit OS.Process.failure
