#include "hosts_core/scanner.h"

#include <cstring>

namespace hosts_core::scanner {

bool LineCursor::next(ScannedLine* line) {
  if (pos_ >= text_.size()) return false;
  const char* start = text_.data() + pos_;
  const std::size_t left = text_.size() - pos_;
  const void* found = std::memchr(start, '\n', left);
  if (found == nullptr) {
    *line = ScannedLine{std::string_view(start, left), {}};
    pos_ = text_.size();
    return true;
  }
  const auto span = static_cast<std::size_t>(static_cast<const char*>(found) - start);
  if (span > 0 && start[span - 1] == '\r') {
    *line = ScannedLine{std::string_view(start, span - 1), std::string_view(start + span - 1, 2)};
  } else {
    *line = ScannedLine{std::string_view(start, span), std::string_view(start + span, 1)};
  }
  pos_ += span + 1;
  return true;
}

std::vector<ScannedLine> scan(std::string_view text) {
  std::vector<ScannedLine> lines;
  LineCursor cursor(text);
  ScannedLine line;
  while (cursor.next(&line)) lines.push_back(line);
  return lines;
}

}  // namespace hosts_core::scanner
