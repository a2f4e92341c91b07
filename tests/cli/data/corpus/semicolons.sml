(* Written the way the REPL is used: every declaration ends in a
   semicolon, sometimes several on one line. *)

val x = 1; val y = 2; val z = x + y;
fun square n = n * n;
square z;
val squares = map square [x, y, z];;

datatype colour = Red | Green | Blue;
fun name Red = "red" | name Green = "green" | name Blue = "blue";
map name [Red, Green, Blue];

structure Counter = struct
  val count = ref 0;
  fun tick () = (count := !count + 1; !count);
end;

Counter.tick (); Counter.tick ();
val ticks = !Counter.count;

let val a = 10; val b = 20 in a + b end;
(print "one; "; print "two; "; print "three\n");
val s = "semi;colons;inside;a;string";
val parts = String.tokens (fn c => c = #";") s;
