(* let expressions in parentheses, in lists and in tuples *)

val a = (let val x = 2 in x * x end)
val b = [let val y = 3 in y end, (let val z = 4 in z end), 5]
val c = (let val p = 1 in p end, let val q = 2 in q end)

fun f n =
  (let
     val half = n div 2
     val rest = n - half
   in
     half * rest
   end) + 1

val d = f 10

fun g xs =
  map (fn x => let val sq = x * x in (x, sq) end) xs

val e = g [1, 2, 3]

val nested =
  let
    val outer = 10
    val inner = (let val outer = outer + 1 in outer * 2 end)
  in
    (outer, inner, let in outer + inner end)
  end

val record = {first = let val t = 1 in t end, second = (let val u = 2 in u end)}

fun h x = if x > 0 then (let val y = x - 1 in h y end) else 0
val zero = h 5
