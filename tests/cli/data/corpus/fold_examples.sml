(* Folds, with results shown as top-level expressions between the
   declarations. *)

val xs = [1, 2, 3, 4, 5]

fun sum ys = foldl op+ 0 ys;
sum xs;

fun reverse ys = foldl op:: [] ys;
reverse xs;

fun mapViaFold f ys = foldr (fn (y, acc) => f y :: acc) [] ys;
mapViaFold (fn y => y * y) xs;

fun filterViaFold p ys = foldr (fn (y, acc) => if p y then y :: acc else acc) [] ys
val evens = filterViaFold (fn y => y mod 2 = 0) xs

fun lengthViaFold ys = foldl (fn (_, n) => n + 1) 0 ys;
lengthViaFold ["a", "b", "c"];

fun maximum [] = NONE
  | maximum (y :: ys) = SOME (foldl Int.max y ys);
maximum xs;
maximum [];

val concatenated = foldr op^ "" ["let", " ", "in", " ", "end"];
String.size concatenated;

fun compose fs = foldr (op o) (fn x => x) fs
val inc3 = compose [fn x => x + 1, fn x => x + 1, fn x => x + 1]
val eight = inc3 5;
