#pragma once

// Serves large blocks from the heap and keeps freed heap memory for reuse.
//
// The text documents of the panes grow, copy and drop buffers of megabytes
// all the time (a console trims its oldest output while output comes in).
// With glibc's defaults each new buffer of that size is a fresh mapping whose
// pages fault in one by one, and on a virtual machine the faults cost more
// than the copying: an update of the console then takes 20 ms instead of 13.
// Blocks of 8 MB and more are mapped all the same: growing on the heap, such
// a text would be copied into fresh pages, tens of milliseconds in one go;
// mapped, it grows by remapping its pages.
// Called once, early, by the program's main().
void olKeepLargeBlocksOnHeap();
