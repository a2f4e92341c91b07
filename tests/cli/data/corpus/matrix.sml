(* Matrices as arrays of arrays, with while loops and refs. *)

type matrix = real Array.array Array.array

fun zeros (rows, cols) : matrix =
  Array.tabulate (rows, fn _ => Array.array (cols, 0.0))

fun identity n : matrix =
  Array.tabulate (n, fn i => Array.tabulate (n, fn j => if i = j then 1.0 else 0.0))

fun get (m : matrix) (i, j) = Array.sub (Array.sub (m, i), j)
fun set (m : matrix) (i, j) v = Array.update (Array.sub (m, i), j, v)

fun rows (m : matrix) = Array.length m
fun cols (m : matrix) = Array.length (Array.sub (m, 0))

fun multiply (a : matrix, b : matrix) : matrix =
  let
    val n = rows a
    val p = cols b
    val k = cols a
    val c = zeros (n, p)
    val i = ref 0
  in
    while !i < n do
      (let
         val j = ref 0
       in
         while !j < p do
           (let
              val sum = ref 0.0
              val t = ref 0
            in
              while !t < k do
                (sum := !sum + get a (!i, !t) * get b (!t, !j);
                 t := !t + 1);
              set c (!i, !j) (!sum)
            end;
            j := !j + 1)
       end;
       i := !i + 1);
    c
  end

fun fromLists (xss : real list list) : matrix =
  Array.fromList (map Array.fromList xss)

fun toLists (m : matrix) =
  Array.foldr (fn (row, acc) => Array.foldr op:: [] row :: acc) [] m

val a = fromLists [[1.0, 2.0], [3.0, 4.0]]
val b = fromLists [[0.0, 1.0], [1.0, 0.0]]
val ab = toLists (multiply (a, b))
val ai = toLists (multiply (a, identity 2))

fun trace m =
  let
    fun loop (i, acc) = if i = rows m then acc else loop (i + 1, acc + get m (i, i))
  in
    loop (0, 0.0)
  end

val t = trace a
val v = Vector.fromList [1, 2, 3]
val vsum = Vector.foldl op+ 0 v
