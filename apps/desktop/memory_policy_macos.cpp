// macOS's malloc keeps freed regions in its magazines for reuse already.
#include "memory_policy.h"

namespace lantern_wharf::desktop {

void keep_freed_memory() {}

}  // namespace lantern_wharf::desktop
