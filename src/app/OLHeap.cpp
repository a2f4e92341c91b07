#include "app/OLHeap.h"

#include <cstdlib> // says whether this is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void olKeepLargeBlocksOnHeap()
{
#if defined(__GLIBC__)
    // Mappings only from 8 MB on, and freed memory handed back only beyond
    // 128 MB. Below, blocks come from the heap and are reused (the console's
    // text at its default maximum takes 4 MB); a mapped block grows by
    // remapping, so a text growing beyond that is never copied again.
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}
