(* FizzBuzz, with a syntax slip in the middle *)

fun fizzbuzz n =
  if n mod 15 = 0 then "FizzBuzz"
  else if n mod 3 = 0 then "Fizz"
  else if n mod 5 = 0 then "Buzz"
  else Int.toString n

val first = map fizzbuzz [1, 2, 3, 4, 5]

fun classify n =
  if n < 0 "negative"
  else if n = 0 then "zero"
  else "positive"

val classes = map classify [~1, 0, 1]

fun upTo n = List.tabulate (n, fn i => i + 1)
val all = map fizzbuzz (upTo 15)
