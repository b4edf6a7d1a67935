// Each fast path of the model run beside its plain twin on one input. Every
// function answers what the two disagree on, or nothing when they agree; the
// unit tests feed them generated input and the fuzz targets fuzzed input.
#ifndef LWK_TESTS_SUPPORT_DIFFERENTIAL_H_
#define LWK_TESTS_SUPPORT_DIFFERENTIAL_H_

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/utf8.h"
#include "hosts_core/address.h"
#include "hosts_core/conflict.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/hostname.h"
#include "hosts_core/line.h"

namespace lwk_test {

using Disagreement = std::optional<std::string>;

inline Disagreement hostname_disagrees(std::string_view text) {
  if (hosts_core::hostname::fault_of(text) == hosts_core::hostname::fault_by_rules(text)) {
    return std::nullopt;
  }
  return "fault_of and fault_by_rules";
}

inline Disagreement utf8_disagrees(std::string_view bytes) {
  if (lwk::utf8::valid_prefix(bytes) == lwk::utf8::valid_prefix_plain(bytes)) return std::nullopt;
  return "valid_prefix and valid_prefix_plain";
}

// On a text without ":" or "%", Address::parse must say what parse_v4 says.
inline Disagreement address_disagrees(std::string_view text) {
  if (text.empty() || text.find_first_of(":%") != std::string_view::npos) return std::nullopt;
  auto parsed = hosts_core::address::Address::parse(text);
  auto plain = hosts_core::address::parse_v4(text);
  if (parsed.has_value() != plain.has_value()) return "Address::parse and parse_v4: success";
  if (plain && !(*parsed == hosts_core::address::Address::v4(*plain))) {
    return "Address::parse and parse_v4: octets";
  }
  if (!plain && parsed.error() != plain.error()) return "Address::parse and parse_v4: error";
  return std::nullopt;
}

// inspect(), with and without a LineError to fill, against classify_with().
inline Disagreement inspect_disagrees(std::string_view text, std::size_t max_octets,
                                      std::size_t max_names) {
  using hosts_core::line::LineKind;
  auto plain = hosts_core::line::classify_with(text, max_octets, max_names);
  LineKind kind = LineKind::Fault;
  if (plain) {
    kind = std::holds_alternative<hosts_core::line::Blank>(*plain)     ? LineKind::Blank
           : std::holds_alternative<hosts_core::line::Comment>(*plain) ? LineKind::Comment
                                                                       : LineKind::Entry;
  }
  hosts_core::line::EntryView view;
  hosts_core::line::LineError error;
  if (hosts_core::line::inspect(text, max_octets, max_names, &view, &error) != kind) {
    return "inspect and classify_with: the kind";
  }
  if (!plain && !(error == plain.error())) return "inspect and classify_with: the LineError";
  if (kind == LineKind::Entry) {
    const auto& entry = std::get<hosts_core::line::Entry>(*plain);
    if (!(view.address == entry.address)) return "inspect and classify_with: the address";
    if (view.names.size() != entry.names.size()) return "inspect and classify_with: the names";
    for (std::size_t i = 0; i < view.names.size(); ++i) {
      if (view.names[i] != entry.names[i].text()) return "inspect and classify_with: a name";
    }
  }
  if (hosts_core::line::inspect(text, max_octets, max_names, &view, nullptr) != kind) {
    return "inspect without a LineError and classify_with: the kind";
  }
  return std::nullopt;
}

// A KeyTable beside a map from EntryKey to the id of its first insertion.
// The names given to insert() must outlive the object.
class KeyTableDifferential {
 public:
  Disagreement insert(const hosts_core::address::Address& address,
                      const std::vector<std::string_view>& names) {
    std::vector<std::string> folded;
    for (std::string_view name : names) folded.push_back(hosts_core::entry_key::ascii_lower(name));
    const auto [at, added] = plain_.try_emplace(hosts_core::entry_key::EntryKey{address, folded},
                                                static_cast<std::uint32_t>(plain_.size()));
    if (added) first_names_.push_back(names);
    if (table_.insert(address, names) != std::make_pair(at->second, added)) {
      return "KeyTable and EntryKey: the id or whether it was new";
    }
    const auto kept = table_.names_of(at->second);
    if (!std::equal(kept.begin(), kept.end(), first_names_[at->second].begin(),
                    first_names_[at->second].end())) {
      return "KeyTable and EntryKey: the names first added";
    }
    return std::nullopt;
  }

 private:
  hosts_core::entry_key::KeyTable table_;
  std::unordered_map<hosts_core::entry_key::EntryKey, std::uint32_t> plain_;
  std::vector<std::vector<std::string_view>> first_names_;
};

// The Detector, fed the entries that inspect() finds, against detect().
inline Disagreement detector_disagrees(const std::vector<hosts_core::conflict::ConflictSet>& sets) {
  hosts_core::conflict::Detector detector;
  hosts_core::line::EntryView entry;
  std::vector<std::string> labels;
  for (std::uint32_t s = 0; s < sets.size(); ++s) {
    labels.push_back(sets[s].label);
    std::uint64_t n = 0;
    for (const auto& line : sets[s].lines) {
      ++n;
      if (line.enabled && hosts_core::line::inspect(line.text, hosts_core::line::MAX_LINE_OCTETS,
                                                    hosts_core::line::MAX_NAMES, &entry,
                                                    nullptr) == hosts_core::line::LineKind::Entry) {
        detector.add(s, n, entry);
      }
    }
  }
  if (detector.conflicts(labels) == hosts_core::conflict::detect(sets)) return std::nullopt;
  return "Detector and detect";
}

}  // namespace lwk_test

#endif  // LWK_TESTS_SUPPORT_DIFFERENTIAL_H_
