(* Übung 4 — Listen und Zeichenketten.  Kommentare dürfen Umlaute
   enthalten: äöü ß, und sogar → Pfeile und λ. *)

(* 練習: リストの長さ *)
fun laenge [] = 0
  | laenge (_ :: xs) = 1 + laenge xs

val n = laenge [1, 2, 3]

(* Zeichenketten mit Escapes statt roher Umlaute: \228 ist ä *)
val gruss = "Gr\252\223e"
val groesse = size gruss

(* « val ignoriert = 1 » — steht im Kommentar *)
fun umdrehen xs = foldl op:: [] xs
val umgedreht = umdrehen [#"a", #"b", #"c"]

val text = "caf\233 au lait"
val woerter = String.tokens Char.isSpace text
