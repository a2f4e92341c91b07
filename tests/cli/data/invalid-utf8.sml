val ok = 1
val bad = "Ã("
