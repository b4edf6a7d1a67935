#include "hosts_core/hostname.h"

#include <optional>

namespace hosts_core::hostname {
namespace {

using Kind = HostnameError::Kind;

inline bool is_label_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

HostnameError error(Kind kind) { return HostnameError{kind, 0, 0, {}}; }

HostnameError part_error(Kind kind, std::string_view part, std::size_t limit = 0) {
  return HostnameError{kind, 0, limit, std::string(part)};
}

// Applies the rules for one dot-separated part; nothing on success.
std::optional<HostnameError> check_label(std::string_view part) {
  if (part.empty()) return error(Kind::EmptyLabel);
  if (part.size() > MAX_LABEL_OCTETS) {
    return part_error(Kind::LabelTooLong, part, MAX_LABEL_OCTETS);
  }
  if (part.front() == '-' || part.back() == '-') return part_error(Kind::HyphenAtEdge, part);
  for (char c : part) {
    if (!is_label_character(c)) return part_error(Kind::BadCharacter, part);
  }
  return std::nullopt;
}

}  // namespace

lwk::Result<Hostname, HostnameError> Hostname::parse(std::string_view text) {
  if (text.empty()) return lwk::unexpected(error(Kind::Missing));
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return lwk::unexpected(error(Kind::NotAscii));
  }
  if (text.back() == '.') return lwk::unexpected(error(Kind::TrailingDot));
  if (text.size() > MAX_NAME_OCTETS) {
    return lwk::unexpected(HostnameError{Kind::TooLong, text.size(), MAX_NAME_OCTETS, {}});
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::size_t end = dot == std::string_view::npos ? text.size() : dot;
    if (auto failure = check_label(text.substr(start, end - start))) {
      return lwk::unexpected(std::move(*failure));
    }
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return Hostname(text);
}

}  // namespace hosts_core::hostname
