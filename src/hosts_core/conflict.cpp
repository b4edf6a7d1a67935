#include "hosts_core/conflict.h"

namespace hosts_core::conflict {
namespace {

// Appends to *out a party made by `make` from every sighting of `family` that
// `each` visits, in order, when those sightings hold two distinct addresses;
// otherwise nothing. `each(f)` calls f on every sighting in order.
template <class Each, class MakeParty>
void append_disagreeing(const Each& each, address::Family family, MakeParty make,
                        std::vector<Party>* out) {
  const address::Address* first = nullptr;
  bool disagree = false;
  each([&](const auto& s) {
    if (disagree || s.address.family() != family) return;
    if (first == nullptr) {
      first = &s.address;
    } else if (!(s.address == *first)) {
      disagree = true;
    }
  });
  if (!disagree) return;
  each([&](const auto& s) {
    if (s.address.family() == family) out->push_back(make(s));
  });
}

}  // namespace

std::vector<Party> disagreeing_parties(const Record& record, address::Family family) {
  std::vector<Party> parties;
  auto each = [&record](const auto& f) {
    for (const Sighting& s : record.sightings) f(s);
  };
  append_disagreeing(
      each, family, [](const Sighting& s) { return s; }, &parties);
  return parties;
}

Detector::Detector(std::size_t expected_lines) {
  index_.reserve(expected_lines, expected_lines * 24);
  first_spelling_.reserve(expected_lines);
  first_.reserve(expected_lines);
  last_.reserve(expected_lines);
  seen_.reserve(expected_lines);
}

void Detector::add(std::uint32_t set, std::uint64_t line, const line::EntryView& entry) {
  const address::Address no_address = address::Address::v4({0, 0, 0, 0});
  for (std::string_view name : entry.names) {
    const auto [record, added] = index_.insert(no_address, std::span(&name, 1));
    const auto at = static_cast<std::uint32_t>(seen_.size());
    if (added) {
      first_spelling_.push_back(name);
      first_.push_back(at);
      last_.push_back(at);
    } else {
      seen_[last_[record]].next = at;
      last_[record] = at;
    }
    seen_.push_back(Seen{set, kNone, line, entry.address});
  }
}

std::vector<Conflict> Detector::conflicts(std::span<const std::string> labels) const {
  std::vector<Conflict> out;
  for (std::size_t r = 0; r < first_spelling_.size(); ++r) {
    auto each = [this, r](const auto& f) {
      for (std::uint32_t at = first_[r]; at != kNone; at = seen_[at].next) f(seen_[at]);
    };
    Conflict conflict{std::string(first_spelling_[r]), {}};
    for (address::Family family : {address::Family::V4, address::Family::V6}) {
      append_disagreeing(
          each, family,
          [&](const Seen& s) {
            return Party{labels[s.set], s.line, s.address};
          },
          &conflict.parties);
    }
    if (!conflict.parties.empty()) out.push_back(std::move(conflict));
  }
  return out;
}

std::vector<Conflict> detect(const std::vector<ConflictSet>& sets) {
  std::size_t lines = 0;
  for (const ConflictSet& set : sets) lines += set.lines.size();
  Detector detector(lines);
  std::vector<std::string> labels;
  labels.reserve(sets.size());
  line::EntryView entry;
  for (std::uint32_t s = 0; s < sets.size(); ++s) {
    labels.push_back(sets[s].label);
    std::uint64_t n = 0;
    for (const ConflictLine& l : sets[s].lines) {
      ++n;
      if (l.enabled && line::inspect(l.text, line::MAX_LINE_OCTETS, line::MAX_NAMES, &entry,
                                     nullptr) == line::Kind::Entry) {
        detector.add(s, n, entry);
      }
    }
  }
  return detector.conflicts(labels);
}

}  // namespace hosts_core::conflict
