(* Re-exporting datatypes with datatype replication. *)

structure Shapes =
struct
  datatype shape = Square of int | Rect of int * int
  fun area (Square s) = s * s
    | area (Rect (w, h)) = w * h
end

datatype shape = datatype Shapes.shape

val a = Shapes.area (Square 3)
val b = Shapes.area (Rect (2, 5))

signature OPTIONS =
sig
  datatype 'a maybe = Nothing | Just of 'a
  val withDefault : 'a -> 'a maybe -> 'a
end

structure Options : OPTIONS =
struct
  datatype 'a maybe = Nothing | Just of 'a
  fun withDefault d Nothing = d
    | withDefault _ (Just x) = x
end

datatype maybe = datatype Options.maybe
val one = Options.withDefault 0 (Just 1)
val zero = Options.withDefault 0 Nothing

datatype ord = datatype order
val cmp = Int.compare (1, 2) = LESS
