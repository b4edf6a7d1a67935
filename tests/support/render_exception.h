// The one file whose second rendering may differ from its first: no line of
// it is terminated and its last byte is a carriage return. The first
// rendering terminates that line with a line feed, which makes the file's
// first ending CR LF, so the second rendering writes the block with CR LF.
#ifndef LWK_TESTS_SUPPORT_RENDER_EXCEPTION_H_
#define LWK_TESTS_SUPPORT_RENDER_EXCEPTION_H_

#include <string_view>

namespace lwk_test {

inline bool renders_differently_twice(std::string_view file) {
  return file.find('\n') == std::string_view::npos && !file.empty() && file.back() == '\r';
}

}  // namespace lwk_test

#endif  // LWK_TESTS_SUPPORT_RENDER_EXCEPTION_H_
