(* Structures inside structures, opened and reached with long names. *)

structure Geometry =
struct
  structure Point =
  struct
    type t = {x : real, y : real}
    val origin : t = {x = 0.0, y = 0.0}
    fun distance ({x = x1, y = y1} : t, {x = x2, y = y2} : t) =
      Math.sqrt ((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2))
  end

  structure Shape =
  struct
    datatype t = Circle of Point.t * real | Polygon of Point.t list
    val pi = Math.pi
    fun area (Circle (_, r)) = pi * r * r
      | area (Polygon ps) =
          let
            fun pairs (a :: (rest as b :: _)) = (a, b) :: pairs rest
              | pairs _ = []
            val closed = case ps of [] => [] | p :: _ => ps @ [p]
            val cross = foldl (fn (({x = x1, y = y1}, {x = x2, y = y2}), acc) =>
                                 acc + x1 * y2 - x2 * y1) 0.0 (pairs closed)
          in
            Real.abs cross / 2.0
          end
  end

  fun describe shape = "area " ^ Real.fmt (StringCvt.FIX (SOME 2)) (Shape.area shape)
end

structure G = Geometry
structure P = Geometry.Point

val unitSquare =
  G.Shape.Polygon [{x = 0.0, y = 0.0}, {x = 1.0, y = 0.0}, {x = 1.0, y = 1.0}, {x = 0.0, y = 1.0}]
val squareArea = G.Shape.area unitSquare
val circle = Geometry.Shape.Circle (P.origin, 2.0)
val text = G.describe circle
val d = P.distance (P.origin, {x = 3.0, y = 4.0})

open Geometry.Shape
val triangle = Polygon [{x = 0.0, y = 0.0}, {x = 4.0, y = 0.0}, {x = 0.0, y = 3.0}]
val triangleArea = area triangle

signature COUNTER =
sig
  val next : unit -> int
  val reset : unit -> unit
end

structure Counter :> COUNTER =
struct
  val state = ref 0
  fun next () = (state := !state + 1; !state)
  fun reset () = state := 0
end

val c1 = Counter.next ()
val c2 = Counter.next ()
