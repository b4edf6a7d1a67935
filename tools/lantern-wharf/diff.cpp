#include "diff.h"

#include <algorithm>
#include <vector>

namespace lantern_wharf {
namespace {

// A line with its terminating line feed, if it has one.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

void emit(std::string* out, char mark, std::string_view line) {
  out->push_back(mark);
  out->append(line);
  if (!line.ends_with('\n')) out->append("\n\\ No newline at end of file\n");
}

// The range part of a hunk header: 1-based start and length; an empty range
// names the line before it.
std::string range(std::size_t start, std::size_t length) {
  return std::to_string(length == 0 ? start : start + 1) + "," + std::to_string(length);
}

}  // namespace

std::string unified_diff(std::string_view before, std::string_view after,
                         std::string_view before_label, std::string_view after_label) {
  if (before == after) return {};
  const auto a = lines_of(before);
  const auto b = lines_of(after);
  std::size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  constexpr std::size_t kContext = 3;
  const std::size_t start = prefix - std::min(prefix, kContext);
  const std::size_t trailing = std::min(suffix, kContext);
  const std::size_t a_end = a.size() - suffix + trailing;
  const std::size_t b_end = b.size() - suffix + trailing;

  std::string out;
  out.append("--- ").append(before_label).append("\n");
  out.append("+++ ").append(after_label).append("\n");
  out.append("@@ -" + range(start, a_end - start) + " +" + range(start, b_end - start) + " @@\n");
  for (std::size_t i = start; i < prefix; ++i) emit(&out, ' ', a[i]);
  for (std::size_t i = prefix; i < a.size() - suffix; ++i) emit(&out, '-', a[i]);
  for (std::size_t i = prefix; i < b.size() - suffix; ++i) emit(&out, '+', b[i]);
  for (std::size_t i = a.size() - suffix; i < a_end; ++i) emit(&out, ' ', a[i]);
  return out;
}

}  // namespace lantern_wharf
