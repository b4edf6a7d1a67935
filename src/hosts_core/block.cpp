#include "hosts_core/block.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "base/utf8.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/escaping.h"
#include "hosts_core/line.h"
#include "hosts_core/scanner.h"

namespace hosts_core::block {
namespace {

MarkupError broken(std::uint64_t line, const char* message) { return MarkupError{line, message}; }

// The line-ending style of a file: that of its first terminated line.
std::string_view newline_style(std::string_view bytes) {
  const std::size_t lf = bytes.find('\n');
  if (lf != std::string_view::npos && lf > 0 && bytes[lf - 1] == '\r') return CRLF;
  return LF;
}

}  // namespace

lwk::Result<ManagedFile, MarkupError> ManagedFile::read(std::string_view bytes) {
  const std::size_t valid = lwk::utf8::valid_prefix(bytes);
  if (valid != bytes.size()) {
    const auto line_feeds = std::count(bytes.begin(), bytes.begin() + valid, '\n');
    return lwk::unexpected(broken(1 + static_cast<std::uint64_t>(line_feeds),
                                  "the file is not valid UTF-8, so its bytes cannot be read as "
                                  "lines"));
  }
  bool opened = false;
  bool closed = false;
  std::uint64_t opening_line = 0;
  std::size_t opening_start = 0;
  std::size_t body_start = 0;
  std::size_t closing_start = 0;

  scanner::LineCursor cursor(bytes);
  scanner::ScannedLine line;
  std::uint64_t n = 0;
  std::size_t offset = 0;
  while (cursor.next(&line)) {
    ++n;
    const std::string_view text = line.text;
    // Every marker text begins with "#", and none is shorter than the closing marker.
    const bool may_hold_markup = text.size() >= CLOSING_MARKER.size() &&
                                 std::memchr(text.data(), '#', text.size()) != nullptr;
    if (may_hold_markup) {
      if (text == CLOSING_MARKER) {
        if (!opened) return lwk::unexpected(broken(n, "a closing marker with no opening one"));
        if (closed) return lwk::unexpected(broken(n, "a second closing marker"));
        closed = true;
        closing_start = offset;
      } else if (text == OPENING_MARKER) {
        if (opened) return lwk::unexpected(broken(n, "a second opening marker"));
        opened = true;
        opening_line = n;
        opening_start = offset;
        body_start = offset + text.size() + line.ending.size();
      } else if (lwk::contains(text, OPENING_MARKER)) {
        return lwk::unexpected(broken(n, "the opening marker's text sits inside a line"));
      } else if (lwk::contains(text, CLOSING_MARKER)) {
        return lwk::unexpected(broken(n, "the closing marker's text sits inside a line"));
      }
    }
    offset += text.size() + line.ending.size();
  }

  ManagedFile file;
  file.newline = newline_style(bytes);
  if (!opened) {
    file.head = bytes;
    file.tail = bytes.substr(bytes.size());
    return file;
  }
  if (!closed) return lwk::unexpected(broken(opening_line, "the block is opened and never closed"));
  file.head = bytes.substr(0, opening_start);
  file.body = bytes.substr(body_start, closing_start - body_start);
  file.tail = bytes.substr(closing_start);
  return file;
}

lwk::Result<std::vector<ReadSet>, MarkupError> ManagedFile::read_sets() const {
  std::vector<ReadSet> sets;
  if (!body) return sets;
  // The head ends where the opening marker's line begins: its line feeds
  // count the lines before that one.
  std::uint64_t n = 1 + static_cast<std::uint64_t>(std::count(head.begin(), head.end(), '\n'));
  scanner::LineCursor cursor(*body);
  scanner::ScannedLine line;
  while (cursor.next(&line)) {
    ++n;
    // A line's text is all before the file's own line ending: in a file of
    // line feeds, a carriage return before one belongs to the text, as
    // rendering it again writes it.
    const bool keeps_return = line.ending == CRLF && newline == LF;
    const std::string_view text(line.text.data(), line.text.size() + (keeps_return ? 1 : 0));
    if (text.starts_with(NODE_PREFIX)) {
      auto name = escaping::unescape(text.substr(NODE_PREFIX.size()));
      if (!name) {
        return lwk::unexpected(broken(n, "a set's heading holds a backslash that is no escape"));
      }
      sets.push_back(ReadSet{std::move(*name), {}});
    } else if (sets.empty()) {
      return lwk::unexpected(broken(n, "a line of the block stands before any set's heading"));
    } else if (text.starts_with(OFF_PREFIX)) {
      sets.back().lines.push_back({text.substr(OFF_PREFIX.size()), false});
    } else {
      sets.back().lines.push_back({text, true});
    }
  }
  return sets;
}

std::string ManagedFile::render(const std::vector<BlockSet>& sets) const {
  std::size_t lines = 0;
  std::size_t octets = 0;
  for (const BlockSet& set : sets) {
    lines += set.lines.size();
    for (const BlockLine& l : set.lines) octets += l.text.size();
  }
  // Room for the whole block up front, so that the text is never moved.
  std::string out;
  out.reserve(head.size() + tail.size() + 256 + octets +
              lines * (newline.size() + OFF_PREFIX.size()) +
              sets.size() * (NODE_PREFIX.size() + 64));
  out.append(head);
  if (!body.has_value()) {
    if (sets.empty()) return out;
    if (!head.empty()) {
      if (head.back() != '\n') out.append(newline);
      out.append(newline);
    }
  }
  out.append(OPENING_MARKER).append(newline);

  // The entries written so far, across all sets.
  entry_key::WrittenEntries written;
  written.reserve(lines);
  for (const BlockSet& set : sets) {
    out.append(NODE_PREFIX).append(escaping::escape(set.name)).append(newline);
    for (const BlockLine& block_line : set.lines) {
      if (!block_line.enabled) {
        out.append(OFF_PREFIX).append(block_line.text).append(newline);
        continue;
      }
      if (written.repeat_of(block_line.text)) continue;
      out.append(block_line.text).append(newline);
    }
  }

  if (body.has_value()) {
    out.append(tail);
  } else {
    out.append(CLOSING_MARKER).append(newline);
  }
  return out;
}

}  // namespace hosts_core::block
