(* Shapes with a constructor applied to the wrong argument. *)

datatype shape =
    Circle of real
  | Rect of real * real
  | Triangle of real * real * real

fun area (Circle r) = Math.pi * r * r
  | area (Rect (w, h)) = w * h
  | area (Triangle (a, b, c)) =
      let val s = (a + b + c) / 2.0
      in Math.sqrt (s * (s - a) * (s - b) * (s - c)) end

val shapes = [Circle 1.0, Rect (2.0, 3.0)]
val areas = map area shapes

val square = Rect 2.0

val triangle = area (Triangle (3.0, 4.0, 5.0))
