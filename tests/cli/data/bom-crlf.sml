val first = 1
val second = 2

val third = 3
