#include "hosts_core/line.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "base/utf8.h"
#include "hosts_core/markup.h"
#include "hosts_core/quoted.h"

namespace hosts_core::line {
namespace {

using address::Address;
using address::AddressError;
using hostname::Hostname;
using hostname::HostnameError;
using quoted::quoted_form;

// The sentences of the faults of a whole line, shared by both classifiers.
std::string too_long(std::size_t octets, std::size_t limit) {
  return "the line is " + std::to_string(octets) + " octets long, and the limit is " +
         std::to_string(limit);
}
constexpr const char* kRepeatsMarkup =
    "the line repeats the managed block's markup, which would make the file unreadable to the "
    "product that wrote it";
constexpr const char* kNoName = "the entry has no host name, so it maps nothing";
std::string too_many_names(std::size_t names, std::size_t limit) {
  return "the line carries " + std::to_string(names) + " names, and the limit is " +
         std::to_string(limit);
}

// --- The plain classifier's pieces: one character at a time.

// Whether `c` has the Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// The maximal runs of characters that are not white space. An octet that
// begins no valid UTF-8 sequence counts as one character that is not.
std::vector<std::string_view> plain_tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  bool in_token = false;
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : lwk::utf8::decode(text, i, &c);
    const bool space = length != 0 && is_white_space(c);
    if (length == 0) length = 1;
    if (space && in_token) tokens.push_back(text.substr(start, i - start));
    if (!space && !in_token) start = i;
    in_token = !space;
    i += length;
  }
  if (in_token) tokens.push_back(text.substr(start));
  return tokens;
}

// `text` without the spaces and tabs at either end.
std::string_view strip_spaces_and_tabs(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// --- The fast classifier's pieces.

// Returns the length in octets of the Unicode White_Space character that
// starts at `i`, or 0 when none does.
std::size_t white_space_at(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return (b0 == 0x20 || (b0 >= 0x09 && b0 <= 0x0D)) ? 1 : 0;
  const std::size_t left = s.size() - i;
  if (left < 2) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if (b0 == 0xC2) return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  if (left < 3) return 0;
  const auto b2 = static_cast<unsigned char>(s[i + 2]);
  switch (b0) {
    case 0xE1:  // U+1680
      return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    case 0xE2:
      if (b1 == 0x80) {  // U+2000..U+200A, U+2028, U+2029, U+202F
        return (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) && b2 >= 0x80 ? 3 : 0;
      }
      return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;  // U+205F
    case 0xE3:                                    // U+3000
      return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    default: return 0;
  }
}

// Which ASCII octets are white space: U+0009 to U+000D and U+0020.
constexpr std::array<bool, 128> kAsciiSpace = [] {
  std::array<bool, 128> table{};
  for (int c = 0x09; c <= 0x0D; ++c) table[c] = true;
  table[' '] = true;
  return table;
}();

// The length of the white-space character at `i`, or 0; fast for ASCII.
inline std::size_t space_at(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) return kAsciiSpace[b] ? 1 : 0;
  return white_space_at(s, i);
}

// Cuts `text` into tokens, maximal runs of characters that are not white
// space: the first into *first (left empty when there is none), the others
// appended to *rest. Tokens are never empty.
void tokenize(std::string_view text, std::string_view* first, std::vector<std::string_view>* rest) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (true) {
    while (i < n) {
      const std::size_t ws = space_at(text, i);
      if (ws == 0) break;
      i += ws;
    }
    if (i >= n) return;
    const std::size_t start = i;
    // Printable ASCII is never white space: pass it eight octets at a time.
    // Without this, inspect() is about half as fast (measured against
    // BM_ClassifyWith in bench/fast_paths_bench.cpp).
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      // A high bit is set for an octet of 0x80 or above, or one below 0x21.
      if ((word | (word - 0x2121212121212121ULL)) & 0x8080808080808080ULL) break;
      i += 8;
    }
    while (i < n && space_at(text, i) == 0) ++i;
    if (first->empty()) {
      *first = text.substr(start, i - start);
    } else {
      rest->push_back(text.substr(start, i - start));
    }
  }
}

// The position of the first character that is neither a space nor a tab.
std::size_t skip_spaces_and_tabs(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i;
}

LineKind fault(LineError* error, std::string message) {
  if (error != nullptr) *error = LineError{std::move(message), {}};
  return LineKind::Fault;
}

void record(LineError* error, const std::string& sentence, Field field) {
  if (!error->message.empty()) error->message += "; ";
  error->message += sentence;
  error->fields.push_back(field);
}

}  // namespace

std::string describe_address(std::string_view token, AddressError error) {
  switch (error) {
    case AddressError::Missing: return "the address is missing";
    case AddressError::LeadingZero:
      return quoted_form(token) +
             " has a leading zero in an octet, and some tools read that as an octal number "
             "\xE2\x80\x94 write it without";
    case AddressError::InterfaceIdentifier:
      return quoted_form(token) +
             " carries an interface identifier, which only IPv6 addresses may have";
    case AddressError::Invalid: break;
  }
  return quoted_form(token) + " is not a valid IPv4 or IPv6 address";
}

std::string describe_hostname(std::string_view token, const HostnameError& error) {
  using Reason = HostnameError::Reason;
  switch (error.reason) {
    case Reason::Missing: return "a host name is missing";
    case Reason::TrailingDot: return quoted_form(token) + " ends with a dot \xE2\x80\x94 remove it";
    case Reason::NotAscii:
      return quoted_form(token) +
             " is not ASCII \xE2\x80\x94 enter it in its encoded xn-- form, which is what the "
             "name system carries";
    case Reason::TooLong:
      return quoted_form(token) + " is " + std::to_string(error.length) +
             " octets long, and the limit is " + std::to_string(error.limit);
    case Reason::LabelTooLong:
      return "the part " + quoted_form(error.part) + " is longer than the limit of " +
             std::to_string(error.limit) + " octets";
    case Reason::EmptyLabel: return quoted_form(token) + " has an empty part between two dots";
    case Reason::HyphenAtEdge:
      return "the part " + quoted_form(error.part) + " begins or ends with a hyphen";
    case Reason::BadCharacter: break;
  }
  return "the part " + quoted_form(error.part) +
         " holds something other than letters, digits and hyphens";
}

lwk::Result<Line, LineError> classify(std::string_view text) {
  return classify_with(text, MAX_LINE_OCTETS, MAX_NAMES);
}

LineKind inspect(std::string_view text, std::size_t max_octets, std::size_t max_names,
                 EntryView* entry, LineError* error) {
  if (text.size() > max_octets) {
    return fault(error, too_long(text.size(), max_octets));
  }
  // Every marker text begins with "#": a line without one cannot imitate them.
  const std::size_t hash = text.find('#');
  if (hash != std::string_view::npos && markup::impersonates_markup(text)) {
    return fault(error, kRepeatsMarkup);
  }
  // Only spaces and tabs are stripped here; the end of the text needs no
  // look: what is left after the start is blank exactly when nothing is left.
  const std::size_t first = skip_spaces_and_tabs(text);
  if (first == text.size()) return LineKind::Blank;
  if (text[first] == '#') return LineKind::Comment;

  std::vector<std::string_view>& tokens = entry->names;
  tokens.clear();
  std::string_view address_token;
  tokenize(text.substr(0, hash), &address_token, &tokens);
  // Nothing but white space before the first "#" (a form feed alone, or a
  // no-break space and a comment): blank, or a comment when a "#" follows.
  if (address_token.empty())
    return hash == std::string_view::npos ? LineKind::Blank : LineKind::Comment;
  if (tokens.empty()) return fault(error, kNoName);
  if (tokens.size() > max_names) return fault(error, too_many_names(tokens.size(), max_names));

  // The faults of the tokens are reported all together: the address first,
  // then the names in line order.
  bool faulty = false;
  auto token_fault = [&](const std::string& sentence, Field field) {
    if (!faulty) *error = LineError{};
    faulty = true;
    record(error, sentence, field);
  };
  auto address = Address::parse(address_token);
  if (!address) {
    if (error == nullptr) return LineKind::Fault;
    token_fault(describe_address(address_token, address.error()), Field::address());
  }
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    auto name_fault = hostname::fault_of(tokens[i]);
    if (!name_fault) continue;
    if (error == nullptr) return LineKind::Fault;
    token_fault(describe_hostname(tokens[i], *name_fault), Field::name(i));
  }
  if (faulty) return LineKind::Fault;
  entry->address = *address;
  return LineKind::Entry;
}

lwk::Result<Line, LineError> classify_with(std::string_view text, std::size_t max_octets,
                                           std::size_t max_names) {
  auto whole_line = [](std::string message) {
    return lwk::unexpected(LineError{std::move(message), {}});
  };
  if (text.size() > max_octets) return whole_line(too_long(text.size(), max_octets));
  if (markup::impersonates_markup(text)) return whole_line(kRepeatsMarkup);
  const std::string_view stripped = strip_spaces_and_tabs(text);
  if (stripped.empty()) return Line{Blank{}};
  if (stripped.front() == '#') return Line{Comment{}};
  const std::size_t hash = text.find('#');
  const std::vector<std::string_view> tokens = plain_tokens(text.substr(0, hash));
  // Nothing but white space before the first "#" (a form feed alone, or a
  // no-break space and a comment): blank, or a comment when a "#" follows.
  if (tokens.empty()) return hash == std::string_view::npos ? Line{Blank{}} : Line{Comment{}};
  const std::size_t names = tokens.size() - 1;
  if (names == 0) return whole_line(kNoName);
  if (names > max_names) return whole_line(too_many_names(names, max_names));

  // Every token is judged, the address first, then the names in line order.
  LineError error;
  auto address = Address::parse(tokens[0]);
  if (!address) record(&error, describe_address(tokens[0], address.error()), Field::address());
  Entry entry{address ? *address : Address::v4({0, 0, 0, 0}), {}};
  for (std::size_t i = 0; i < names; ++i) {
    auto name = Hostname::parse(tokens[i + 1]);
    if (name) {
      entry.names.push_back(std::move(*name));
    } else {
      record(&error, describe_hostname(tokens[i + 1], name.error()), Field::name(i));
    }
  }
  if (!error.message.empty()) return lwk::unexpected(std::move(error));
  return Line{std::move(entry)};
}

}  // namespace hosts_core::line
