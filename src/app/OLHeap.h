#pragma once

// Serves large blocks from the heap and keeps freed heap memory for reuse.
//
// The text documents of the panes grow, copy and drop buffers of megabytes
// all the time (a console trims its oldest output while output comes in).
// With glibc's defaults each new buffer of that size is a fresh mapping whose
// pages fault in one by one, and on a virtual machine the faults cost more
// than the copying: an update of the console then takes 20 ms instead of 13.
// Called once, early, by the program's main().
void olKeepLargeBlocksOnHeap();
