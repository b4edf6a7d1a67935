// The managed block inside the hosts file: reading the current file cut at
// its block, and rendering a new file with a fresh block. Every byte outside
// the block is carried through unchanged.
#ifndef LWK_HOSTS_CORE_BLOCK_H_
#define LWK_HOSTS_CORE_BLOCK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "hosts_core/markup.h"

namespace hosts_core::block {

using markup::CLOSING_MARKER;
using markup::NODE_PREFIX;
using markup::OFF_PREFIX;
using markup::OPENING_MARKER;

inline constexpr std::string_view LF = "\n";
inline constexpr std::string_view CRLF = "\r\n";

// One line as it is written into the block: a hosts line without terminator,
// and whether it is switched on (a switched-off line is written as a comment).
// The text is a view; its bytes (the request's, as a rule) must outlive it.
struct BlockLine {
  std::string_view text;
  bool enabled = true;
  friend bool operator==(const BlockLine&, const BlockLine&) = default;
};

// One set as it is written into the block, under a heading line of its own.
// Like its lines' texts, the name is a view.
struct BlockSet {
  std::string_view name;
  std::vector<BlockLine> lines;
  friend bool operator==(const BlockSet&, const BlockSet&) = default;
};

// Why a file's markup, or its block's sets, cannot be read: a 1-based line
// number and one of a few fixed messages.
struct MarkupError {
  std::uint64_t line;
  std::string message;
  friend bool operator==(const MarkupError&, const MarkupError&) = default;
};

// One set read back from a block: its name as it was given (unescaped), and
// its lines, whose texts view the bytes that were read.
struct ReadSet {
  std::string name;
  std::vector<BlockLine> lines;
  friend bool operator==(const ReadSet&, const ReadSet&) = default;
};

// The current file cut at its managed block. All views point into the bytes
// given to read(), which must outlive the ManagedFile.
//
// With a block: head + opening marker line + *body + tail is the whole file,
// and tail begins with the closing marker line. Without one: head is the whole
// file, body is absent and tail is empty.
struct ManagedFile {
  std::string_view head;
  std::optional<std::string_view> body;
  std::string_view tail;
  std::string_view newline = LF;  // LF or CRLF, the style of the file's first line

  // Reads the file's bytes. Fails, reporting the first broken line, when the
  // bytes are not UTF-8 or the markers do not form exactly one block.
  static lwk::Result<ManagedFile, MarkupError> read(std::string_view bytes);

  // The sets the block holds, in order: each heading line starts a set, a
  // line that begins with OFF_PREFIX is a switched-off line (its text after
  // the prefix), and every other line a switched-on one. None without a
  // block. Fails, naming the line of the file, for a line before the first
  // heading and for a heading whose name escape() could not have written.
  // Reading back inverts rendering: what render() wrote reads back as the
  // sets it was given, less the entries it left out.
  lwk::Result<std::vector<ReadSet>, MarkupError> read_sets() const;

  // Returns the complete new file: head and tail as they are, and a fresh block
  // holding a heading line per set, its lines, switched-off lines as comments,
  // and no entry whose key an earlier line of the block already wrote.
  std::string render(const std::vector<BlockSet>& sets) const;
};

}  // namespace hosts_core::block

#endif  // LWK_HOSTS_CORE_BLOCK_H_
