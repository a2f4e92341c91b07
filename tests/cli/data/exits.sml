val start = 1
val _ = OS.Process.exit OS.Process.success
val after = 2
