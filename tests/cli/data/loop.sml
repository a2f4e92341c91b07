fun spin () : unit = spin ()
val quick = 1
val endless = spin ()
val unreached = 2
