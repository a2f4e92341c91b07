(* Lazy streams with explicit thunks. *)

datatype 'a stream = Nil | Cons of 'a * (unit -> 'a stream)

fun from n = Cons (n, fn () => from (n + 1))

fun take (_, 0) = []
  | take (Nil, _) = []
  | take (Cons (x, rest), n) = x :: take (rest (), n - 1)

fun smap f Nil = Nil
  | smap f (Cons (x, rest)) = Cons (f x, fn () => smap f (rest ()))

fun sfilter p Nil = Nil
  | sfilter p (Cons (x, rest)) =
      if p x then Cons (x, fn () => sfilter p (rest ())) else sfilter p (rest ())

fun sieve Nil = Nil
  | sieve (Cons (p, rest)) =
      Cons (p, fn () => sieve (sfilter (fn n => n mod p <> 0) (rest ())))

val naturals = from 0
val squares = take (smap (fn x => x * x) naturals, 10)
val primes = take (sieve (from 2), 15)

fun zipWith f (Cons (a, ra), Cons (b, rb)) = Cons (f (a, b), fn () => zipWith f (ra (), rb ()))
  | zipWith _ _ = Nil

val fibs =
  let
    fun fibFrom (a, b) = Cons (a, fn () => fibFrom (b, a + b))
  in
    fibFrom (0, 1)
  end

val firstFibs = take (fibs, 12)
val evens = take (zipWith op+ (naturals, naturals), 5)
