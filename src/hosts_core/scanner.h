// Cuts a text into lines at line feeds, keeping each line's terminator.
#ifndef LWK_HOSTS_CORE_SCANNER_H_
#define LWK_HOSTS_CORE_SCANNER_H_

#include <cstddef>
#include <string_view>
#include <vector>

namespace hosts_core::scanner {

// One line as two views into the scanned text: its characters, and the
// terminator that followed them ("\n", "\r\n", or empty for a last line
// without one). A 0x0D not directly before 0x0A belongs to the text.
struct ScannedLine {
  std::string_view text;
  std::string_view ending;
};

// Walks the lines of a text without allocating. The text must outlive it.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}

  // Stores the next line in *line and returns true, or returns false at the end.
  bool next(ScannedLine* line);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Returns every line of `text` in order. Concatenating each line's text and
// ending gives back `text` exactly; an empty text has no lines, and a text
// that ends with a terminator has no empty last line.
std::vector<ScannedLine> scan(std::string_view text);

}  // namespace hosts_core::scanner

#endif  // LWK_HOSTS_CORE_SCANNER_H_
