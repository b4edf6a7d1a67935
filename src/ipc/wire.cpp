#include "ipc/wire.h"

#include <algorithm>

#include "base/utf8.h"

namespace hosts_ipc {
namespace {

using lwk::unexpected;

// The kind byte of each request and of each response.
constexpr std::uint8_t kApplySets = 1;
constexpr std::uint8_t kFlushNameCache = 2;
constexpr std::uint8_t kRemoveEverything = 3;
constexpr std::uint8_t kDone = 1;
constexpr std::uint8_t kUnchanged = 2;
constexpr std::uint8_t kIssues = 3;
constexpr std::uint8_t kNotUnderstood = 4;

using Code = DecodeError::Code;

template <class T>
using Decoded = lwk::Result<T, DecodeError>;

lwk::Unexpected<DecodeError> failure(Code code, std::string_view field, std::uint32_t value = 0) {
  return unexpected(DecodeError{code, value, field});
}

// A view over the bytes that advances as fields are taken from it and never
// reads past its end. Each read names its field, which a failure carries.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }

  Decoded<std::uint8_t> u8(std::string_view field) {
    if (remaining() < 1) return failure(Code::BadLength, field);
    return static_cast<std::uint8_t>(bytes_[pos_++]);
  }
  Decoded<std::uint32_t> u32(std::string_view field) {
    if (remaining() < 4) return failure(Code::BadLength, field);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(bytes_[pos_++]);
    return v;
  }
  // A count or a length: at most MAX_WIRE_COUNT.
  Decoded<std::uint32_t> count(std::string_view field) {
    auto n = u32(field);
    if (n && *n > MAX_WIRE_COUNT) return failure(Code::TooLarge, field);
    return n;
  }
  // `length` octets of UTF-8, as a view into the bytes.
  Decoded<std::string_view> text(std::uint32_t length, std::string_view field) {
    if (length > MAX_WIRE_COUNT) return failure(Code::TooLarge, field);
    if (length > remaining()) return failure(Code::BadLength, field);
    const std::string_view out = bytes_.substr(pos_, length);
    pos_ += length;
    if (!lwk::utf8::is_valid(out)) return failure(Code::NotUtf8, field);
    return out;
  }
  Decoded<lwk::Success> end(std::string_view field) {
    if (remaining() != 0) return failure(Code::BadLength, field);
    return lwk::success();
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Checks the version and reads the kind byte, common to both directions.
Decoded<std::uint8_t> header(Reader& in) {
  if (in.remaining() < 2) return failure(Code::BadLength, "version");
  const auto high = in.u8("version").value();
  const auto version = static_cast<std::uint16_t>(high << 8 | in.u8("version").value());
  if (version != WIRE_VERSION) return failure(Code::UnsupportedVersion, "version", version);
  return in.u8("kind");
}

Decoded<WireLine> decode_line(Reader& in) {
  // The flag and the text length come as one five-octet field.
  if (in.remaining() < 5) return failure(Code::BadLength, "line flag and text length");
  const bool enabled = in.u8("line flag").value() != 0;
  const std::uint32_t length = in.u32("line text length").value();
  auto text = in.text(length, "line text");
  if (!text) return unexpected(text.error());
  return WireLine{*text, enabled};
}

Decoded<WireSet> decode_set(Reader& in) {
  auto name_length = in.u32("set name length");
  if (!name_length) return unexpected(name_length.error());
  auto name = in.text(*name_length, "set name");
  if (!name) return unexpected(name.error());
  auto lines = in.count("line count");
  if (!lines) return unexpected(lines.error());
  WireSet set{*name, {}};
  set.lines.reserve(std::min(*lines, PREALLOCATION_CAP));
  for (std::uint32_t j = 0; j < *lines; ++j) {
    auto line = decode_line(in);
    if (!line) return unexpected(line.error());
    set.lines.push_back(*line);
  }
  return set;
}

Decoded<Issue> decode_issue(Reader& in) {
  if (in.remaining() < 12) return failure(Code::BadLength, "issue set, line and message length");
  Issue issue;
  issue.set = in.u32("issue set").value();
  issue.line = in.u32("issue line").value();
  const std::uint32_t length = in.u32("issue message length").value();
  auto message = in.text(length, "issue message");
  if (!message) return unexpected(message.error());
  issue.message = std::string(*message);
  return issue;
}

void put_u32(std::string* out, std::uint64_t value) {
  const auto v = static_cast<std::uint32_t>(value);  // the low 32 bits
  out->push_back(static_cast<char>(v >> 24));
  out->push_back(static_cast<char>(v >> 16));
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}

void put_header(std::string* out, std::uint8_t kind) {
  out->push_back(static_cast<char>(WIRE_VERSION >> 8));
  out->push_back(static_cast<char>(WIRE_VERSION & 0xFF));
  out->push_back(static_cast<char>(kind));
}

void put_length(std::string* out, std::size_t length) {
  if (length > 0xFFFFFFFFu) lwk::fatal("a length that does not fit the wire format");
  put_u32(out, length);
}

// The issues response: its header, the count, then every issue.
void put_issues(std::string* out, const std::vector<Issue>& issues) {
  put_header(out, kIssues);
  put_u32(out, issues.size());
  for (const Issue& issue : issues) {
    put_u32(out, issue.set);
    put_u32(out, issue.line);
    put_length(out, issue.message.size());
    *out += issue.message;
  }
}

// The apply request: its header, then every set with its lines.
void put_sets(std::string* out, const std::vector<WireSet>& sets) {
  std::uint64_t lines = 0;
  std::uint64_t octets = 0;
  for (const WireSet& set : sets) {
    lines += set.lines.size();
    octets += set.name.size();
    for (const WireLine& line : set.lines) octets += line.text.size();
  }
  out->reserve(apply_request_octets(sets.size(), lines, octets));
  put_header(out, kApplySets);
  put_length(out, sets.size());
  for (const WireSet& set : sets) {
    put_length(out, set.name.size());
    *out += set.name;
    put_length(out, set.lines.size());
    for (const WireLine& line : set.lines) {
      out->push_back(line.enabled ? '\x01' : '\x00');
      put_length(out, line.text.size());
      *out += line.text;
    }
  }
}

std::string reason_of(const DecodeError& error) {
  switch (error.code) {
    case Code::BadLength: return "the bytes end too soon or go on too long";
    case Code::UnsupportedVersion: return "unsupported version " + std::to_string(error.value);
    case Code::UnknownKind: return "unknown kind " + std::to_string(error.value);
    case Code::NotUtf8: return "a text that is not UTF-8";
    case Code::TooLarge: break;
  }
  return "a count or length above " + std::to_string(MAX_WIRE_COUNT);
}

}  // namespace

std::string describe(const DecodeError& error) {
  return std::string(error.field) + ": " + reason_of(error);
}

lwk::Result<Request, DecodeError> decode_request(std::string_view bytes) {
  Reader in(bytes);
  auto kind = header(in);
  if (!kind) return unexpected(kind.error());
  switch (*kind) {
    case kFlushNameCache:
    case kRemoveEverything:
      if (auto end = in.end("what follows the kind"); !end) return unexpected(end.error());
      if (*kind == kFlushNameCache) return Request{FlushNameCache{}};
      return Request{RemoveEverything{}};
    case kApplySets: break;
    default: return failure(Code::UnknownKind, "kind", *kind);
  }
  auto sets = in.count("set count");
  if (!sets) return unexpected(sets.error());
  ApplySets apply;
  apply.sets.reserve(std::min(*sets, PREALLOCATION_CAP));
  for (std::uint32_t i = 0; i < *sets; ++i) {
    auto set = decode_set(in);
    if (!set) return unexpected(set.error());
    apply.sets.push_back(std::move(*set));
  }
  if (auto end = in.end("what follows the last set"); !end) return unexpected(end.error());
  return Request{std::move(apply)};
}

std::string encode_response(const Response& response) {
  std::string out;
  std::visit(Overloaded{
                 [&](const Done&) { put_header(&out, kDone); },
                 [&](const Unchanged&) { put_header(&out, kUnchanged); },
                 [&](const Issues& issues) { put_issues(&out, issues.issues); },
                 [&](const NotUnderstood&) { put_header(&out, kNotUnderstood); },
             },
             response);
  return out;
}

std::string encode_request(const Request& request) {
  std::string out;
  std::visit(Overloaded{
                 [&](const ApplySets& apply) { put_sets(&out, apply.sets); },
                 [&](const FlushNameCache&) { put_header(&out, kFlushNameCache); },
                 [&](const RemoveEverything&) { put_header(&out, kRemoveEverything); },
             },
             request);
  return out;
}

lwk::Result<Response, DecodeError> decode_response(std::string_view bytes) {
  Reader in(bytes);
  auto kind = header(in);
  if (!kind) return unexpected(kind.error());
  if (*kind == kDone || *kind == kUnchanged || *kind == kNotUnderstood) {
    if (auto end = in.end("what follows the kind"); !end) return unexpected(end.error());
    if (*kind == kDone) return Response{Done{}};
    if (*kind == kUnchanged) return Response{Unchanged{}};
    return Response{NotUnderstood{}};
  }
  if (*kind != kIssues) return failure(Code::UnknownKind, "kind", *kind);
  auto issues = in.count("issue count");
  if (!issues) return unexpected(issues.error());
  Issues out;
  out.issues.reserve(std::min(*issues, PREALLOCATION_CAP));
  for (std::uint32_t i = 0; i < *issues; ++i) {
    auto issue = decode_issue(in);
    if (!issue) return unexpected(issue.error());
    out.issues.push_back(std::move(*issue));
  }
  if (auto end = in.end("what follows the last issue"); !end) return unexpected(end.error());
  return Response{std::move(out)};
}

}  // namespace hosts_ipc
