(* Shopping cart totals *)

type item = {name : string, price : int, qty : int}

val cart : item list =
  [{name = "apple", price = 30, qty = 4},
   {name = "bread", price = 250, qty = 1}]

fun subtotal ({price, qty, ...} : item) = price * qty
val total = foldl (fn (i, acc) => acc + subtotal i) 0 cart;

(* discount code, disabled for now
val discount = total div 10
val payable = total - discount

fun receipt items =
  String.concatWith "\n" (map (fn (i : item) => #name i) items)
