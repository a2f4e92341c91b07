(* A vending machine as a state machine, driven by a list of events. *)

datatype coin = Nickel | Dime | Quarter
datatype event = Insert of coin | Select of string | Refund
datatype state = Idle | Collecting of int | Vending of string

val prices = [("gum", 25), ("chips", 50), ("soda", 75)]

fun value Nickel = 5
  | value Dime = 10
  | value Quarter = 25

fun priceOf item =
  case List.find (fn (name, _) => name = item) prices of
      SOME (_, p) => p
    | NONE => raise Fail ("no such item: " ^ item)

val log = ref ([] : string list)
fun say msg = log := msg :: !log

fun step (Idle, Insert c) = Collecting (value c)
  | step (Collecting n, Insert c) = Collecting (n + value c)
  | step (Collecting n, Select item) =
      let
        val p = priceOf item
      in
        if n >= p
        then (say ("vend " ^ item ^ ", change " ^ Int.toString (n - p)); Vending item)
        else (say ("need " ^ Int.toString (p - n) ^ " more"); Collecting n)
      end
  | step (Collecting n, Refund) = (say ("refund " ^ Int.toString n); Idle)
  | step (Vending _, e) = step (Idle, e)
  | step (Idle, Select _) = (say "insert coins first"; Idle)
  | step (Idle, Refund) = Idle

val events = [Insert Quarter, Select "chips", Insert Quarter, Select "chips",
              Insert Dime, Refund, Select "gum", Insert Quarter, Select "gum"]

val final = foldl (fn (e, s) => step (s, e)) Idle events
val messages = rev (!log)
val _ = app (fn m => print (m ^ "\n")) messages
