(* Helpers hidden with local ... in ... end at the top level. *)

local
  val table = [(1, "one"), (2, "two"), (3, "three")]
  fun lookup n = case List.find (fn (k, _) => k = n) table of SOME (_, s) => s | NONE => "many"
in
  fun spell n = lookup n
  val spelledThree = lookup 3
end;

local
  fun square x = x * x
in
  fun sumOfSquares xs = foldl (fn (x, acc) => acc + square x) 0 xs
end

val s = sumOfSquares [1, 2, 3]
val words = map spell [1, 2, 5]

local
  val secret = "end"
in
  fun guess w = w = secret
  local
    val attempts = ref 0
  in
    fun tries () = (attempts := !attempts + 1; !attempts)
  end
end

val right = guess "end"
val t1 = tries ()
val t2 = tries ()
