// glibc's malloc: large blocks are mapped and unmapped one by one, and the
// top of the heap is trimmed, unless told otherwise.
#include <malloc.h>

#include "memory_policy.h"

namespace lantern_wharf::desktop {

void keep_freed_memory() {
  (void)mallopt(M_MMAP_THRESHOLD, 32 << 20);
  (void)mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

}  // namespace lantern_wharf::desktop
