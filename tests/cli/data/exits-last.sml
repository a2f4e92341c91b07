val start = 1
val _ = OS.Process.exit OS.Process.success
