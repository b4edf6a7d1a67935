#include "hosts_core/line.h"

#include "hosts_core/markup.h"
#include "hosts_core/quoted.h"

namespace hosts_core::line {
namespace {

using address::Address;
using address::AddressError;
using hostname::Hostname;
using hostname::HostnameError;

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

// Walks the tokens of a text: maximal runs of characters that are not white
// space. Tokens are never empty.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  bool next(std::string_view* token) {
    while (pos_ < text_.size()) {
      const std::size_t ws = white_space_at(text_, pos_);
      if (ws == 0) break;
      pos_ += ws;
    }
    if (pos_ >= text_.size()) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && white_space_at(text_, pos_) == 0) ++pos_;
    *token = text_.substr(start, pos_ - start);
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

std::string_view strip_spaces_and_tabs(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

LineError whole_line(std::string message) { return LineError{std::move(message), {}}; }

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
  using Kind = HostnameError::Kind;
  switch (error.kind) {
    case Kind::Missing: return "a host name is missing";
    case Kind::TrailingDot: return quoted_form(token) + " ends with a dot \xE2\x80\x94 remove it";
    case Kind::NotAscii:
      return quoted_form(token) +
             " is not ASCII \xE2\x80\x94 enter it in its encoded xn-- form, which is what the "
             "name system carries";
    case Kind::TooLong:
      return quoted_form(token) + " is " + std::to_string(error.length) +
             " octets long, and the limit is " + std::to_string(error.limit);
    case Kind::LabelTooLong:
      return "the part " + quoted_form(error.part) + " is longer than the limit of " +
             std::to_string(error.limit) + " octets";
    case Kind::EmptyLabel: return quoted_form(token) + " has an empty part between two dots";
    case Kind::HyphenAtEdge:
      return "the part " + quoted_form(error.part) + " begins or ends with a hyphen";
    case Kind::BadCharacter: break;
  }
  return "the part " + quoted_form(error.part) +
         " holds something other than letters, digits and hyphens";
}

lwk::Result<Line, LineError> classify(std::string_view text) {
  return classify_with(text, MAX_LINE_OCTETS, MAX_NAMES);
}

lwk::Result<Line, LineError> classify_with(std::string_view text, std::size_t max_octets,
                                           std::size_t max_names) {
  if (text.size() > max_octets) {
    return lwk::unexpected(whole_line("the line is " + std::to_string(text.size()) +
                                      " octets long, and the limit is " +
                                      std::to_string(max_octets)));
  }
  if (markup::impersonates_markup(text)) {
    return lwk::unexpected(whole_line(
        "the line repeats the managed block's markup, which would make the file unreadable to "
        "the product that wrote it"));
  }
  const std::string_view stripped = strip_spaces_and_tabs(text);
  if (stripped.empty()) return Line{Blank{}};
  if (stripped.front() == '#') return Line{Comment{}};

  const std::size_t hash = text.find('#');
  const std::string_view before_comment = text.substr(0, hash);
  std::size_t token_count = 0;
  {
    Tokens tokens(before_comment);
    std::string_view ignored;
    while (tokens.next(&ignored)) ++token_count;
  }
  // Nothing but white space before the first "#" (a form feed alone, or a
  // no-break space and a comment): blank, or a comment when a "#" follows.
  if (token_count == 0) {
    if (hash == std::string_view::npos) return Line{Blank{}};
    return Line{Comment{}};
  }
  const std::size_t name_count = token_count - 1;
  if (name_count == 0) {
    return lwk::unexpected(whole_line("the entry has no host name, so it maps nothing"));
  }
  if (name_count > max_names) {
    return lwk::unexpected(whole_line("the line carries " + std::to_string(name_count) +
                                      " names, and the limit is " + std::to_string(max_names)));
  }

  Tokens tokens(before_comment);
  std::string_view token;
  (void)tokens.next(&token);
  LineError error;
  auto address = Address::parse(token);
  if (!address) record(&error, describe_address(token, address.error()), Field::address());

  std::vector<Hostname> names;
  names.reserve(name_count);
  for (std::size_t i = 0; tokens.next(&token); ++i) {
    auto name = Hostname::parse(token);
    if (!name) {
      record(&error, describe_hostname(token, name.error()), Field::name(i));
    } else if (error.fields.empty()) {
      names.push_back(std::move(name).value());
    }
  }
  if (!error.fields.empty()) return lwk::unexpected(std::move(error));
  return Line{Entry{address.value(), std::move(names)}};
}

}  // namespace hosts_core::line
