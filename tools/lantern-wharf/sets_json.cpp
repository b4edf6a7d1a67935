#include "sets_json.h"

#include <nlohmann/json.hpp>

namespace lantern_wharf {
namespace {

using hosts_ipc::WireLine;
using hosts_ipc::WireSet;
using nlohmann::json;
using Failure = lwk::Unexpected<std::string>;

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

Failure at(const std::string& where, const std::string& what) {
  return lwk::unexpected(where + ": " + what);
}

// Refuses every key of `object` not in `allowed`.
lwk::Result<void, std::string> only_keys(const json& object, const std::string& where,
                                         std::initializer_list<const char*> allowed) {
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const char* a : allowed) known = known || key == a;
    if (!known) return at(where, "unknown key " + json(key).dump());
  }
  return lwk::success();
}

// A copy of the string `value`, kept in *texts; the view is valid as long as it is.
std::string_view keep(const json& value, std::deque<std::string>* texts) {
  return texts->emplace_back(value.get<std::string>());
}

lwk::Result<WireLine, std::string> line_of(const json& value, const std::string& where,
                                           std::deque<std::string>* texts) {
  if (value.is_string()) return WireLine{keep(value, texts), true};
  if (!value.is_object()) return at(where, "expected a string or an object with \"text\"");
  if (auto keys = only_keys(value, where, {"text", "enabled"}); !keys) {
    return lwk::unexpected(keys.error());
  }
  WireLine line;
  const auto text = value.find("text");
  if (text == value.end()) return at(where, "missing \"text\"");
  if (!text->is_string()) return at(where + ".text", "expected a string");
  line.text = keep(*text, texts);
  const auto enabled = value.find("enabled");
  if (enabled != value.end()) {
    if (!enabled->is_boolean()) return at(where + ".enabled", "expected true or false");
    line.enabled = enabled->get<bool>();
  }
  return line;
}

lwk::Result<WireSet, std::string> set_of(const json& value, const std::string& where,
                                         std::deque<std::string>* texts) {
  if (!value.is_object()) return at(where, "expected an object with \"name\" and \"lines\"");
  if (auto keys = only_keys(value, where, {"name", "lines"}); !keys) {
    return lwk::unexpected(keys.error());
  }
  WireSet set;
  const auto name = value.find("name");
  if (name == value.end()) return at(where, "missing \"name\"");
  if (!name->is_string()) return at(where + ".name", "expected a string");
  set.name = keep(*name, texts);
  const auto lines = value.find("lines");
  if (lines == value.end()) return set;
  if (!lines->is_array()) return at(where + ".lines", "expected an array");
  for (std::size_t j = 0; j < lines->size(); ++j) {
    auto line = line_of((*lines)[j], where + ".lines[" + std::to_string(j) + "]", texts);
    if (!line) return lwk::unexpected(line.error());
    set.lines.push_back(*line);
  }
  return set;
}

}  // namespace

lwk::Result<SetsFile, std::string> parse_sets(std::string_view text) {
  json root;
  Builder builder(root);
  if (!json::sax_parse(text, &builder) || builder.is_errored()) {
    return lwk::unexpected("not valid JSON: " + builder.error);
  }
  if (!root.is_object()) return lwk::unexpected(std::string("expected an object with \"sets\""));
  if (auto keys = only_keys(root, "the file", {"sets"}); !keys) {
    return lwk::unexpected(keys.error());
  }
  const auto sets = root.find("sets");
  if (sets == root.end()) return lwk::unexpected(std::string("missing \"sets\""));
  if (!sets->is_array()) return at("sets", "expected an array");
  SetsFile out;
  for (std::size_t i = 0; i < sets->size(); ++i) {
    auto set = set_of((*sets)[i], "sets[" + std::to_string(i) + "]", &out.texts);
    if (!set) return lwk::unexpected(set.error());
    out.sets.push_back(std::move(*set));
  }
  return out;
}

}  // namespace lantern_wharf
