#include "hosts_core/conflict.h"

#include <unordered_map>

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
  std::vector<address::Address> distinct;
  std::vector<Party> parties;
  for (const Sighting& s : record.sightings) {
    if (s.address.family() != family) continue;
    bool seen = false;
    for (const address::Address& a : distinct) seen = seen || a == s.address;
    if (!seen) distinct.push_back(s.address);
    parties.push_back(Party{s.set, s.line, s.address});
  }
  if (distinct.size() < 2) parties.clear();
  return parties;
}

std::vector<Conflict> detect(const std::vector<ConflictSet>& sets) {
  std::vector<Record> records;
  std::unordered_map<std::string, std::size_t> index;  // lowercased name to record
  for (const ConflictSet& set : sets) {
    std::uint64_t n = 0;
    for (const block::BlockLine& l : set.lines) {
      ++n;
      if (!l.enabled) continue;
      auto classified = line::classify_with(l.text, line::MAX_LINE_OCTETS, line::MAX_NAMES);
      if (!classified) continue;
      const auto* entry = std::get_if<line::Entry>(&*classified);
      if (entry == nullptr) continue;
      for (const hostname::Hostname& name : entry->names) {
        const auto [at, added] = index.try_emplace(entry_key::ascii_lower(name.text()), 0);
        if (added) {
          at->second = records.size();
          records.push_back(Record{name.text(), {}});
        }
        records[at->second].sightings.push_back(Sighting{set.label, n, entry->address});
      }
    }
  }
  std::vector<Conflict> out;
  for (const Record& record : records) {
    Conflict conflict{record.name, disagreeing_parties(record, address::Family::V4)};
    for (Party& p : disagreeing_parties(record, address::Family::V6)) {
      conflict.parties.push_back(std::move(p));
    }
    if (!conflict.parties.empty()) out.push_back(std::move(conflict));
  }
  return out;
}

Detector::Detector(std::size_t expected_lines) {
  // Room for two names a line, so that a large request seldom moves the
  // arrays while it is added: capacity that is never used costs no memory,
  // while growing copies an array and faults in a new one of twice its size.
  const std::size_t names = 2 * expected_lines;
  index_.reserve(names, names);
  first_.reserve(names);
  last_.reserve(names);
  seen_.reserve(names);
}

void Detector::add(std::uint32_t set, std::uint64_t line, const line::EntryView& entry) {
  const address::Address no_address = address::Address::v4({0, 0, 0, 0});
  for (std::string_view name : entry.names) {
    const auto [record, added] = index_.insert(no_address, std::span(&name, 1));
    const auto at = static_cast<std::uint32_t>(seen_.size());
    if (added) {
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
  std::vector<Party> parties;
  for (std::uint32_t r = 0; r < first_.size(); ++r) {
    auto each = [this, r](const auto& f) {
      for (std::uint32_t at = first_[r]; at != kNone; at = seen_[at].next) f(seen_[at]);
    };
    auto party = [&](const Seen& s) { return Party{labels[s.set], s.line, s.address}; };
    parties.clear();
    append_disagreeing(each, address::Family::V4, party, &parties);
    append_disagreeing(each, address::Family::V6, party, &parties);
    // Most names take part in no conflict: their spelling is copied only here.
    if (!parties.empty()) out.push_back(Conflict{std::string(index_.names_of(r)[0]), parties});
  }
  return out;
}

}  // namespace hosts_core::conflict
