// Prints what the Files seam records for one apply and one removal, made as
// the helper makes them on a fresh start, for the end-to-end check that the
// real system calls make the same writes, flushes and renames.
//
// usage: crash_recorded_ops OLD NEW
// OLD holds the hosts file before the apply, NEW what the apply writes. The
// target is /etc/hosts and the store /var/db/lantern-wharf-kit, both only in
// memory. One line per operation that changes the disk or flushes it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "helper_core/crash_explorer.h"

namespace {

namespace crash = lwk_test::crash;
namespace write = hosts_helper_core::write;

bool slurp(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string old_content;
  std::string new_content;
  if (argc != 3 || !slurp(argv[1], old_content) || !slurp(argv[2], new_content)) {
    (void)std::fputs("usage: crash_recorded_ops OLD NEW\n", stderr);
    return 2;
  }
  const write::Paths paths = crash::explored_paths();
  crash::MemoryPlatform platform(
      crash::disk_with({"/etc", "/var/db"}, {{paths.target, old_content}}));
  std::uint64_t counter = 0;
  auto current = write::read_current(paths, platform);
  if (!current) return 1;
  auto applied = write::write_over(paths, *current, new_content, platform, counter);
  if (!applied || !*applied) return 1;
  if (!write::remove_everything(paths, platform, counter)) return 1;
  for (const crash::Operation& op : platform.files().log()) {
    if (op.changes()) (void)std::printf("%s\n", crash::describe(op).c_str());
  }
  return 0;
}
