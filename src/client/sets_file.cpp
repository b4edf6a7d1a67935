// Sets files: the JSON text that apply takes and export prints.
#include <nlohmann/json.hpp>
#include <utility>

#include "client/failures.h"
#include "client/manager.h"

namespace lantern_wharf::manager {
namespace {

using nlohmann::json;

// Builds the document as nlohmann's own parser does, but keeps the parse
// error's text instead of throwing it.
class Builder : public nlohmann::detail::json_sax_dom_parser<json> {
 public:
  explicit Builder(json& root) : json_sax_dom_parser(root, /*allow_exceptions=*/false) {}

  template <class Exception>
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const Exception& ex) {
    // what() reads "[json.exception.parse_error.101] parse error at line ...".
    std::string text = ex.what();
    const std::size_t tag_end = text.find("] ");
    if (text.starts_with("[json.exception") && tag_end != std::string::npos) {
      text.erase(0, tag_end + 2);
    }
    error = text;
    return false;
  }

  std::string error;
};

lwk::Unexpected<Failure> at(const std::string& where, const std::string& what) {
  return bad_input(where + ": " + what);
}

// Refuses every key of `object` not in `allowed`.
lwk::Result<void, Failure> only_keys(const json& object, const std::string& where,
                                     std::initializer_list<const char*> allowed) {
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const char* a : allowed) known = known || key == a;
    if (!known) return at(where, "unknown key " + json(key).dump());
  }
  return lwk::success();
}

lwk::Result<Line, Failure> line_of(const json& value, const std::string& where) {
  if (value.is_string()) return Line{value.get<std::string>(), true};
  if (!value.is_object()) return at(where, "expected a string or an object with \"text\"");
  if (auto keys = only_keys(value, where, {"text", "enabled"}); !keys) {
    return lwk::unexpected(std::move(keys).error());
  }
  Line line;
  const auto text = value.find("text");
  if (text == value.end()) return at(where, "missing \"text\"");
  if (!text->is_string()) return at(where + ".text", "expected a string");
  line.text = text->get<std::string>();
  const auto enabled = value.find("enabled");
  if (enabled != value.end()) {
    if (!enabled->is_boolean()) return at(where + ".enabled", "expected true or false");
    line.enabled = enabled->get<bool>();
  }
  return line;
}

lwk::Result<Set, Failure> set_of(const json& value, const std::string& where) {
  if (!value.is_object()) return at(where, "expected an object with \"name\" and \"lines\"");
  if (auto keys = only_keys(value, where, {"name", "lines"}); !keys) {
    return lwk::unexpected(std::move(keys).error());
  }
  Set set;
  const auto name = value.find("name");
  if (name == value.end()) return at(where, "missing \"name\"");
  if (!name->is_string()) return at(where + ".name", "expected a string");
  set.name = name->get<std::string>();
  const auto lines = value.find("lines");
  if (lines == value.end()) return set;
  if (!lines->is_array()) return at(where + ".lines", "expected an array");
  for (std::size_t j = 0; j < lines->size(); ++j) {
    auto line = line_of((*lines)[j], where + ".lines[" + std::to_string(j) + "]");
    if (!line) return lwk::unexpected(std::move(line).error());
    set.lines.push_back(std::move(*line));
  }
  return set;
}

}  // namespace

lwk::Result<Sets, Failure> parse_sets_file(std::string_view text) {
  json root;
  Builder builder(root);
  if (!json::sax_parse(text, &builder) || builder.is_errored()) {
    return bad_input("not valid JSON: " + builder.error);
  }
  if (!root.is_object()) return bad_input("expected an object with \"sets\"");
  if (auto keys = only_keys(root, "the file", {"sets"}); !keys) {
    return lwk::unexpected(std::move(keys).error());
  }
  const auto sets = root.find("sets");
  if (sets == root.end()) return bad_input("missing \"sets\"");
  if (!sets->is_array()) return at("sets", "expected an array");
  Sets out;
  out.reserve(sets->size());
  for (std::size_t i = 0; i < sets->size(); ++i) {
    auto set = set_of((*sets)[i], "sets[" + std::to_string(i) + "]");
    if (!set) return lwk::unexpected(std::move(set).error());
    out.push_back(std::move(*set));
  }
  return out;
}

std::string to_sets_file(const Sets& sets) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Set& set : sets) {
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (const Line& line : set.lines) {
      lines.push_back({{"text", line.text}, {"enabled", line.enabled}});
    }
    list.push_back({{"name", set.name}, {"lines", lines}});
  }
  return nlohmann::ordered_json{{"sets", list}}.dump(2) + "\n";
}

}  // namespace lantern_wharf::manager
