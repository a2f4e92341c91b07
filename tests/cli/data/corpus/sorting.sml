(* Sorting, three ways.  Older attempts are kept below in comments. *)

fun insertionSort cmp xs =
  let
    fun insert (x, []) = [x]
      | insert (x, y :: ys) =
          if cmp (x, y) = GREATER then y :: insert (x, ys) else x :: y :: ys
  in
    foldl insert [] xs
  end

(* First try at merge sort -- wrong split, kept for the record:
fun mergeSort cmp [] = []
  | mergeSort cmp xs =
      let val (a, b) = (List.take (xs, 1), List.drop (xs, 1))
      in merge cmp (mergeSort cmp a, mergeSort cmp b) end
*)

fun merge cmp ([], ys) = ys
  | merge cmp (xs, []) = xs
  | merge cmp (x :: xs, y :: ys) =
      if cmp (x, y) = GREATER
      then y :: merge cmp (x :: xs, ys)
      else x :: merge cmp (xs, y :: ys)

fun mergeSort cmp xs =
  case xs of
      [] => []
    | [_] => xs
    | _ =>
        let
          val half = length xs div 2
        in
          merge cmp (mergeSort cmp (List.take (xs, half)),
                     mergeSort cmp (List.drop (xs, half)))
        end

fun quickSort cmp [] = []
  | quickSort cmp (pivot :: rest) =
      let
        val (smaller, larger) = List.partition (fn x => cmp (x, pivot) = LESS) rest
      in
        quickSort cmp smaller @ [pivot] @ quickSort cmp larger
      end

(*
   val test = quickSort Int.compare [3, 1, 2]   (* gives [1, 2, 3] *)
   fun quickSort' ... = ... end
*)

val data = [38, 27, 43, 3, 9, 82, 10, 3]
val s1 = insertionSort Int.compare data
val s2 = mergeSort Int.compare data
val s3 = quickSort Int.compare data
val agree = s1 = s2 andalso s2 = s3

val words = ["struct", "end", "let", "abstype", "val"]
val sortedWords = mergeSort String.compare words
val byLength = quickSort (fn (a, b) => Int.compare (size a, size b)) words

fun isSorted cmp (a :: (rest as b :: _)) = cmp (a, b) <> GREATER andalso isSorted cmp rest
  | isSorted _ _ = true

val checked = isSorted Int.compare s3 andalso isSorted String.compare sortedWords
