#include "app/OLHeap.h"

#include <cstdlib> // says whether this is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void olKeepLargeBlocksOnHeap()
{
#if defined(__GLIBC__)
    // Mappings only from 32 MB on (glibc's largest threshold), and freed
    // memory handed back only beyond 128 MB.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}
