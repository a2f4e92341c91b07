(* Only expressions here: each one ends in a semicolon and the
   interpreter binds it. *)

1 + 2;
"concat" ^ "enation";
print "hello from the top level\n";
List.map (fn x => x * 10) [1, 2, 3];
(fn (a, b) => a * b) (6, 7);
let val x = 5 in x * x end;
if 3 > 2 then "yes" else "no";
Int.toString (foldl op+ 0 [1, 2, 3, 4, 5]);
(print "two "; print "prints\n");
size "the end";
#"a";
[1, 2, 3] @ [4];
