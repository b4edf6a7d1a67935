#include "ipc/wire.h"

#include <algorithm>

#include "base/utf8.h"

namespace hosts_ipc {
namespace {

using lwk::unexpected;

// A view over the bytes that advances as fields are taken from it and never
// reads past its end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }

  std::uint8_t u8() { return static_cast<std::uint8_t>(bytes_[pos_++]); }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | u8();
    return v;
  }
  // REQUIRES: n <= remaining().
  std::string_view take(std::size_t n) {
    const std::string_view out = bytes_.substr(pos_, n);
    pos_ += n;
    return out;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Reads a length-prefixed UTF-8 text whose length field has been read.
lwk::Result<std::string, DecodeError> text_of_length(Reader& in, std::uint32_t length) {
  if (length > MAX_WIRE_COUNT) return unexpected(DecodeError::too_large());
  if (length > in.remaining()) return unexpected(DecodeError::bad_length());
  const std::string_view text = in.take(length);
  if (!lwk::utf8::is_valid(text)) return unexpected(DecodeError::not_utf8());
  return std::string(text);
}

lwk::Result<std::uint32_t, DecodeError> count(Reader& in) {
  if (in.remaining() < 4) return unexpected(DecodeError::bad_length());
  const std::uint32_t n = in.u32();
  if (n > MAX_WIRE_COUNT) return unexpected(DecodeError::too_large());
  return n;
}

// Checks the version and reads the kind byte, common to both directions.
lwk::Result<std::uint8_t, DecodeError> header(Reader& in) {
  if (in.remaining() < 2) return unexpected(DecodeError::bad_length());
  const auto version = static_cast<std::uint16_t>(in.u8() << 8 | in.u8());
  if (version != WIRE_VERSION) return unexpected(DecodeError::unsupported_version(version));
  if (in.remaining() == 0) return unexpected(DecodeError::bad_length());
  return in.u8();
}

lwk::Result<WireSet, DecodeError> decode_set(Reader& in) {
  WireSet set;
  auto name_length = [&]() -> lwk::Result<std::uint32_t, DecodeError> {
    if (in.remaining() < 4) return unexpected(DecodeError::bad_length());
    return in.u32();
  }();
  if (!name_length) return unexpected(name_length.error());
  auto name = text_of_length(in, *name_length);
  if (!name) return unexpected(name.error());
  set.name = std::move(*name);

  auto lines = count(in);
  if (!lines) return unexpected(lines.error());
  set.lines.reserve(std::min(*lines, PREALLOCATION_CAP));
  for (std::uint32_t j = 0; j < *lines; ++j) {
    if (in.remaining() < 5) return unexpected(DecodeError::bad_length());
    const bool enabled = in.u8() != 0;
    auto text = text_of_length(in, in.u32());
    if (!text) return unexpected(text.error());
    set.lines.push_back(WireLine{std::move(*text), enabled});
  }
  return set;
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

}  // namespace

std::string describe(const DecodeError& error) {
  switch (error.kind) {
    case DecodeError::Kind::BadLength: return "the bytes end too soon or go on too long";
    case DecodeError::Kind::UnsupportedVersion:
      return "unsupported version " + std::to_string(error.value);
    case DecodeError::Kind::UnknownKind: return "unknown kind " + std::to_string(error.value);
    case DecodeError::Kind::NotUtf8: return "a text that is not UTF-8";
    case DecodeError::Kind::TooLarge: break;
  }
  return "a count or length above " + std::to_string(MAX_WIRE_COUNT);
}

lwk::Result<Request, DecodeError> decode_request(std::string_view bytes) {
  Reader in(bytes);
  auto kind = header(in);
  if (!kind) return unexpected(kind.error());
  switch (*kind) {
    case 2:
    case 3:
      if (in.remaining() != 0) return unexpected(DecodeError::bad_length());
      if (*kind == 2) return Request{FlushNameCache{}};
      return Request{RemoveEverything{}};
    case 1: break;
    default: return unexpected(DecodeError::unknown_kind(*kind));
  }
  auto sets = count(in);
  if (!sets) return unexpected(sets.error());
  ApplySets apply;
  apply.sets.reserve(std::min(*sets, PREALLOCATION_CAP));
  for (std::uint32_t i = 0; i < *sets; ++i) {
    auto set = decode_set(in);
    if (!set) return unexpected(set.error());
    apply.sets.push_back(std::move(*set));
  }
  if (in.remaining() != 0) return unexpected(DecodeError::bad_length());
  return Request{std::move(apply)};
}

std::string encode_response(const Response& response) {
  std::string out;
  if (std::holds_alternative<Done>(response)) {
    put_header(&out, 1);
  } else if (std::holds_alternative<Unchanged>(response)) {
    put_header(&out, 2);
  } else if (std::holds_alternative<NotUnderstood>(response)) {
    put_header(&out, 4);
  } else {
    const auto& issues = std::get<Issues>(response).issues;
    put_header(&out, 3);
    put_u32(&out, issues.size());
    for (const Issue& issue : issues) {
      put_u32(&out, issue.set);
      put_u32(&out, issue.line);
      put_length(&out, issue.message.size());
      out += issue.message;
    }
  }
  return out;
}

std::string encode_request(const Request& request) {
  std::string out;
  if (std::holds_alternative<FlushNameCache>(request)) {
    put_header(&out, 2);
  } else if (std::holds_alternative<RemoveEverything>(request)) {
    put_header(&out, 3);
  } else {
    const auto& sets = std::get<ApplySets>(request).sets;
    put_header(&out, 1);
    put_length(&out, sets.size());
    for (const WireSet& set : sets) {
      put_length(&out, set.name.size());
      out += set.name;
      put_length(&out, set.lines.size());
      for (const WireLine& line : set.lines) {
        out.push_back(line.enabled ? '\x01' : '\x00');
        put_length(&out, line.text.size());
        out += line.text;
      }
    }
  }
  return out;
}

lwk::Result<Response, DecodeError> decode_response(std::string_view bytes) {
  Reader in(bytes);
  auto kind = header(in);
  if (!kind) return unexpected(kind.error());
  if (*kind == 1 || *kind == 2 || *kind == 4) {
    if (in.remaining() != 0) return unexpected(DecodeError::bad_length());
    if (*kind == 1) return Response{Done{}};
    if (*kind == 2) return Response{Unchanged{}};
    return Response{NotUnderstood{}};
  }
  if (*kind != 3) return unexpected(DecodeError::unknown_kind(*kind));
  auto issues = count(in);
  if (!issues) return unexpected(issues.error());
  Issues out;
  out.issues.reserve(std::min(*issues, PREALLOCATION_CAP));
  for (std::uint32_t i = 0; i < *issues; ++i) {
    if (in.remaining() < 12) return unexpected(DecodeError::bad_length());
    Issue issue;
    issue.set = in.u32();
    issue.line = in.u32();
    auto message = text_of_length(in, in.u32());
    if (!message) return unexpected(message.error());
    issue.message = std::move(*message);
    out.issues.push_back(std::move(issue));
  }
  if (in.remaining() != 0) return unexpected(DecodeError::bad_length());
  return Response{std::move(out)};
}

}  // namespace hosts_ipc
