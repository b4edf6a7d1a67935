// How the window's process keeps memory it has freed. Every keystroke runs
// the helper's check over the sets, which for a block of 1 MiB allocates and
// frees some megabytes of tables; handed back to the system after each run,
// those pages are faulted in afresh the next time, which costs six times the
// check itself (19 ms against 3 ms, desktop_bench keystroke).
#ifndef LWK_APPS_DESKTOP_MEMORY_POLICY_H_
#define LWK_APPS_DESKTOP_MEMORY_POLICY_H_

namespace lantern_wharf::desktop {

// Keeps freed memory for reuse: blocks of up to 32 MiB come from the heap
// and at most 64 MiB of free heap is kept. Call once, first thing in main.
void keep_freed_memory();

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_MEMORY_POLICY_H_
