(* Breadth-first and depth-first search over adjacency lists; the helpers
   are kept local to the two searches. *)

type graph = (int * int list) list

val g : graph =
  [(1, [2, 3]), (2, [4]), (3, [4, 5]), (4, [6]), (5, [6]), (6, []), (7, [1])]

local
  fun neighbours (graph : graph) v =
    case List.find (fn (u, _) => u = v) graph of
        SOME (_, vs) => vs
      | NONE => []

  fun visited v seen = List.exists (fn u => u = v) seen
in
  fun bfs graph start =
    let
      fun loop ([], seen) = rev seen
        | loop (v :: queue, seen) =
            if visited v seen then loop (queue, seen)
            else loop (queue @ neighbours graph v, v :: seen)
    in
      loop ([start], [])
    end

  fun dfs graph start =
    let
      fun visit (v, seen) =
        if visited v seen then seen
        else foldl visit (v :: seen) (neighbours graph v)
    in
      rev (visit (start, []))
    end

  fun reachable graph (a, b) = visited b (bfs graph a)
end

val byLevels = bfs g 1
val byDepth = dfs g 1
val sevenToSix = reachable g (7, 6)
val sixToSeven = reachable g (6, 7)

(* shortest path lengths, with the distance table as a list of pairs *)
fun distances graph start =
  let
    fun next (v : int) = case List.find (fn (u, _) => u = v) graph of SOME (_, vs) => vs | NONE => []
    fun loop ([], table) = rev table
      | loop ((v, d) :: queue, table) =
          if List.exists (fn (u, _) => u = v) table then loop (queue, table)
          else loop (queue @ map (fn w => (w, d + 1)) (next v), (v, d) :: table)
  in
    loop ([(start, 0)], [])
  end

val dist = distances g 1
