(* Records, field selectors and record patterns with ellipses. *)

type student = {name : string, id : int, grades : int list}

val students : student list =
  [{name = "Ada", id = 1, grades = [90, 85, 99]},
   {name = "Brian", id = 2, grades = [70, 65]},
   {id = 3, grades = [], name = "Chen"}]

fun average ({grades = [], ...} : student) = NONE
  | average {grades, ...} =
      SOME (real (foldl op+ 0 grades) / real (length grades))

fun nameOf (s : student) = #name s

val names = map nameOf students
val averages = map (fn s => (#name s, average s)) students

fun best (ss : student list) =
  let
    fun score s = getOpt (average s, 0.0)
  in
    foldl (fn (s, b) => if score s > score b then s else b) (hd ss) (tl ss)
  end

val top = #name (best students)

val point = {x = 1, y = 2}
val {x, y} = point
val moved = {x = x + 10, y = y}
val tuple = (1, "two", 3.0)
val second = #2 tuple
val asRecord = {1 = "a", 2 = "b"}
val same = asRecord = ("a", "b")

fun updateGrades ({name, id, ...} : student) gs : student = {name = name, id = id, grades = gs}
val chen = updateGrades (List.nth (students, 2)) [88]
val chenAverage = average chen
