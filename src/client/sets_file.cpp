// Sets files: the JSON text that apply takes and export prints.
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "client/failures.h"
#include "client/input_file.h"
#include "client/manager.h"

namespace lantern_wharf::manager {
namespace {

using nlohmann::json;

// Reads a sets file event by event, as nlohmann's parser reports them, into
// sets without a document in between: a sets file as big as the client
// reads would make a document many times its size. Without `out` it only
// judges the text and counts what the sets would hold, so that a refusal
// builds nothing; with it, it builds the sets too. The first fault found
// ends the reading.
class Reader {
 public:
  using number_integer_t = json::number_integer_t;
  using number_unsigned_t = json::number_unsigned_t;
  using number_float_t = json::number_float_t;
  using string_t = json::string_t;
  using binary_t = json::binary_t;

  explicit Reader(Sets* out) : out_(out) {}

  bool null() { return wrong_value(); }
  bool boolean(bool value);
  bool number_integer(number_integer_t /*value*/) { return wrong_value(); }
  bool number_unsigned(number_unsigned_t /*value*/) { return wrong_value(); }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) { return wrong_value(); }
  bool binary(binary_t& /*value*/) { return wrong_value(); }
  bool string(string_t& value);
  bool start_object(std::size_t /*elements*/);
  bool key(string_t& key);
  bool end_object();
  bool start_array(std::size_t /*elements*/);
  bool end_array();
  template <class Exception>
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const Exception& ex) {
    // what() reads "[json.exception.parse_error.101] parse error at line ...".
    std::string text = ex.what();
    const std::size_t tag_end = text.find("] ");
    if (text.starts_with("[json.exception") && tag_end != std::string::npos) {
      text.erase(0, tag_end + 2);
    }
    return fail("not valid JSON: " + text);
  }

  std::optional<std::string> fault;
  std::uint64_t sets = 0;
  std::uint64_t lines = 0;
  std::uint64_t octets = 0;  // of names and line texts

 private:
  // Where the reading stands: the value it waits for, or the object or
  // array it is in.
  enum class At {
    File,
    InFile,
    SetsValue,
    InSets,
    InSet,
    Name,
    Lines,
    InLines,
    InLine,
    Text,
    Enabled
  };

  bool fail(std::string sentence) {
    fault = std::move(sentence);
    return false;
  }
  std::string set_path() const { return "sets[" + std::to_string(sets - 1) + "]"; }
  std::string line_path() const { return set_path() + ".lines[" + std::to_string(line_ - 1) + "]"; }
  // A value of the wrong type where the reading stands.
  bool wrong_value();
  // Takes `key` in an object whose keys `seen` marks (one bit each, in the
  // order of `known`), and goes on to its value, `to[i]` for known[i].
  bool take_key(const std::string& key, std::initializer_list<const char*> known,
                std::initializer_list<At> to, const std::string& where);
  void add_line(std::string text, bool enabled);

  Sets* out_;
  At at_ = At::File;
  unsigned seen_ = 0;       // the keys given in the object the reading is in
  unsigned set_seen_ = 0;   // those of the set, while in one of its lines
  std::uint64_t line_ = 0;  // lines of the current set so far
  Line pending_;            // the line object being read
};

bool Reader::wrong_value() {
  switch (at_) {
    case At::File: return fail("expected an object with \"sets\"");
    case At::SetsValue: return fail("sets: expected an array");
    case At::InSets:
      ++sets;
      return fail(set_path() + ": expected an object with \"name\" and \"lines\"");
    case At::Name: return fail(set_path() + ".name: expected a string");
    case At::Lines: return fail(set_path() + ".lines: expected an array");
    case At::InLines:
      ++line_;
      return fail(line_path() + ": expected a string or an object with \"text\"");
    case At::Text: return fail(line_path() + ".text: expected a string");
    case At::Enabled: return fail(line_path() + ".enabled: expected true or false");
    case At::InFile:
    case At::InSet:
    case At::InLine: break;  // an object's members begin with a key
  }
  return fail("not valid JSON");
}

void Reader::add_line(std::string text, bool enabled) {
  ++lines;
  octets += text.size();
  if (out_ != nullptr) out_->back().lines.push_back({std::move(text), enabled});
}

bool Reader::boolean(bool value) {
  if (at_ != At::Enabled) return wrong_value();
  pending_.enabled = value;
  at_ = At::InLine;
  return true;
}

bool Reader::string(string_t& value) {
  switch (at_) {
    case At::Name:
      octets += value.size();
      if (out_ != nullptr) out_->back().name = std::move(value);
      at_ = At::InSet;
      return true;
    case At::Text:
      pending_.text = std::move(value);
      at_ = At::InLine;
      return true;
    case At::InLines:
      ++line_;
      add_line(std::move(value), true);
      return true;
    default: return wrong_value();
  }
}

bool Reader::start_object(std::size_t /*elements*/) {
  switch (at_) {
    case At::File: at_ = At::InFile; break;
    case At::InSets:
      ++sets;
      line_ = 0;
      if (out_ != nullptr) out_->emplace_back();
      at_ = At::InSet;
      break;
    case At::InLines:
      ++line_;
      set_seen_ = seen_;
      pending_ = Line{};
      at_ = At::InLine;
      break;
    default: return wrong_value();
  }
  seen_ = 0;
  return true;
}

bool Reader::take_key(const std::string& key, std::initializer_list<const char*> known,
                      std::initializer_list<At> to, const std::string& where) {
  for (std::size_t i = 0; i < known.size(); ++i) {
    if (key != known.begin()[i]) continue;
    if ((seen_ >> i) & 1u) return fail(where + ": the key " + json(key).dump() + " is given twice");
    seen_ |= 1u << i;
    at_ = to.begin()[i];
    return true;
  }
  return fail(where + ": unknown key " + json(key).dump());
}

bool Reader::key(string_t& key) {
  switch (at_) {
    case At::InFile: return take_key(key, {"sets"}, {At::SetsValue}, "the file");
    case At::InSet: return take_key(key, {"name", "lines"}, {At::Name, At::Lines}, set_path());
    case At::InLine:
      return take_key(key, {"text", "enabled"}, {At::Text, At::Enabled}, line_path());
    default: return fail("not valid JSON");
  }
}

bool Reader::end_object() {
  switch (at_) {
    case At::InFile:
      if ((seen_ & 1u) == 0) return fail("missing \"sets\"");
      at_ = At::File;
      return true;
    case At::InSet:
      if ((seen_ & 1u) == 0) return fail(set_path() + ": missing \"name\"");
      at_ = At::InSets;
      return true;
    case At::InLine:
      if ((seen_ & 1u) == 0) return fail(line_path() + ": missing \"text\"");
      add_line(std::move(pending_.text), pending_.enabled);
      seen_ = set_seen_;
      at_ = At::InLines;
      return true;
    default: return fail("not valid JSON");
  }
}

bool Reader::start_array(std::size_t /*elements*/) {
  switch (at_) {
    case At::SetsValue: at_ = At::InSets; return true;
    case At::Lines: at_ = At::InLines; return true;
    default: return wrong_value();
  }
}

bool Reader::end_array() {
  switch (at_) {
    case At::InSets:
      at_ = At::InFile;
      seen_ = 1u;
      return true;
    case At::InLines: at_ = At::InSet; return true;
    default: return fail("not valid JSON");
  }
}

// Reads `text` with `reader`; its fault, if any.
lwk::Result<void, Failure> read_with(std::string_view text, Reader& reader) {
  const bool read = json::sax_parse(text, &reader);
  if (reader.fault) return bad_input(*reader.fault);
  if (!read) return bad_input("not valid JSON");
  return lwk::success();
}

// Appends `text` as a JSON string.
void append_string(std::string& out, std::string_view text) {
  out += json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

lwk::Result<Sets, Failure> parse_sets_file(std::string_view text) {
  Reader judge(nullptr);
  if (auto judged = read_with(text, judge); !judged) return lwk::unexpected(judged.error());
  if (auto fits = fits_in_a_message(judge.sets, judge.lines, judge.octets); !fits) {
    return lwk::unexpected(fits.error());
  }
  Sets out;
  out.reserve(judge.sets);
  Reader build(&out);
  if (auto built = read_with(text, build); !built) return lwk::unexpected(built.error());
  return out;
}

lwk::Result<std::string, Failure> to_sets_file(const Sets& sets) {
  // Laid out as a JSON document indented by two spaces, written as it goes:
  // a document would take many times the text's memory.
  std::string out = sets.empty() ? "{\n  \"sets\": []" : "{\n  \"sets\": [";
  for (std::size_t s = 0; s < sets.size() && out.size() <= FILE_LIMIT; ++s) {
    out += s == 0 ? "\n    {\n      \"name\": " : ",\n    {\n      \"name\": ";
    append_string(out, sets[s].name);
    const std::vector<Line>& lines = sets[s].lines;
    out += lines.empty() ? ",\n      \"lines\": []" : ",\n      \"lines\": [";
    for (std::size_t l = 0; l < lines.size() && out.size() <= FILE_LIMIT; ++l) {
      out += l == 0 ? "\n        {\n          \"text\": " : ",\n        {\n          \"text\": ";
      append_string(out, lines[l].text);
      out += lines[l].enabled ? ",\n          \"enabled\": true\n        }"
                              : ",\n          \"enabled\": false\n        }";
    }
    out += lines.empty() ? "\n    }" : "\n      ]\n    }";
  }
  out += sets.empty() ? "\n}\n" : "\n  ]\n}\n";
  if (out.size() > FILE_LIMIT) {
    return bad_input(
        "the sets file would hold " +
        input_file::beyond_bound("more than " + std::to_string(FILE_LIMIT), FILE_LIMIT));
  }
  return out;
}

}  // namespace lantern_wharf::manager
