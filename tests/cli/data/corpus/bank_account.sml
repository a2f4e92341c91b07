(* Bank accounts: a small exercise in records, references and exceptions.
   Every operation below either returns the new balance or raises
   InsufficientFunds; the val at the end of the file runs a few of them. *)

exception InsufficientFunds of {needed : int, available : int}
exception UnknownAccount of string

type account = {owner : string, number : int, balance : int ref}

fun openAccount (owner, number) : account =
  {owner = owner, number = number, balance = ref 0}

fun deposit ({balance, ...} : account) amount =
  (balance := !balance + amount; !balance)

fun withdraw ({balance, ...} : account) amount =
  if amount > !balance
  then raise InsufficientFunds {needed = amount, available = !balance}
  else (balance := !balance - amount; !balance)

(* A bank is just a list of accounts; lookup raises UnknownAccount when the
   owner has none.  (We used to return an option here; see the val below.) *)
fun lookup [] name = raise UnknownAccount name
  | lookup ((a : account) :: rest) name =
      if #owner a = name then a else lookup rest name

(*
val lookupOpt : account list -> string -> account option =
  fn accounts => fn name => SOME (lookup accounts name) handle UnknownAccount _ => NONE
*)

val alice = openAccount ("alice", 1)
val bob = openAccount ("bob", 2)
val bank = [alice, bob]

val _ = deposit alice 100
val _ = deposit bob 20

fun transfer from to amount =
  let
    val _ = withdraw from amount
  in
    deposit to amount
  end

fun safeTransfer from to amount =
  transfer from to amount
  handle InsufficientFunds {needed, available} =>
    (print ("transfer refused: needed " ^ Int.toString needed ^
            ", available " ^ Int.toString available ^ "\n");
     !(#balance to))

val afterFirst = safeTransfer alice bob 30;
val afterSecond = safeTransfer bob alice 500;

val report =
  String.concatWith ", "
    (map (fn (a : account) => #owner a ^ ": " ^ Int.toString (!(#balance a))) bank)

val _ = print (report ^ "\n")

val missing = (lookup bank "carol"; "found") handle UnknownAccount n => "no account for " ^ n;
