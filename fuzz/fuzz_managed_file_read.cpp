// ManagedFile::read on any bytes: the parts of a read file put together give
// back the input exactly. The UTF-8 check it starts with agrees with decoding
// one code point at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "hosts_core/block.h"
#include "support/differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto differ = lwk_test::utf8_disagrees(bytes)) lwk::fatal(differ->c_str());
  auto file = hosts_core::block::ManagedFile::read(bytes);
  if (!file) {
    if (file.error().line == 0) lwk::fatal("a markup error at line 0");
    return 0;
  }
  std::string whole(file->head);
  if (file->body) {
    whole.append(hosts_core::block::OPENING_MARKER);
    const std::size_t marker_end = file->head.size() + hosts_core::block::OPENING_MARKER.size();
    const std::size_t ending = bytes.size() - file->tail.size() - file->body->size() - marker_end;
    whole.append(bytes.substr(marker_end, ending));
    whole.append(*file->body);
  }
  whole.append(file->tail);
  if (whole != bytes) lwk::fatal("the parts do not give back the file");
  return 0;
}
