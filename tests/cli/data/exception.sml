val a = 10
structure S = struct
  val b = a * 2
end
val c = S.b div 0
val d = 3
