(* Typed at the prompt, one declaration at a time: a partial
   application is not polymorphic, and its type gets fixed. *)

fun pair x y = (x, y);
val pairWithOne = pair 1;
val p = pairWithOne "one";
val emptyList = rev [];
val withInts = 1 :: emptyList;
val withStrings = "a" :: emptyList;
