#include "hosts_core/conflict.h"

#include <unordered_map>

#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"

namespace hosts_core::conflict {

std::vector<Party> disagreeing_parties(const Record& record, address::Family family) {
  const Sighting* first = nullptr;
  bool disagree = false;
  for (const Sighting& s : record.sightings) {
    if (s.address.family() != family) continue;
    if (first == nullptr) {
      first = &s;
    } else if (!(s.address == first->address)) {
      // At least two distinct addresses: no need to count further.
      disagree = true;
      break;
    }
  }
  std::vector<Party> parties;
  if (!disagree) return parties;
  for (const Sighting& s : record.sightings) {
    if (s.address.family() == family) parties.push_back(s);
  }
  return parties;
}

std::vector<Conflict> detect(const std::vector<ConflictSet>& sets) {
  std::vector<Record> records;
  std::unordered_map<std::string, std::size_t> index;
  // Room for one name per line up front spares the index its rehashing.
  std::size_t lines = 0;
  for (const ConflictSet& set : sets) lines += set.lines.size();
  index.reserve(lines);
  records.reserve(lines);
  for (const ConflictSet& set : sets) {
    std::uint64_t n = 0;
    for (const block::BlockLine& block_line : set.lines) {
      ++n;
      if (!block_line.enabled) continue;
      auto classified =
          line::classify_with(block_line.text, line::MAX_LINE_OCTETS, line::MAX_NAMES);
      if (!classified) continue;
      const auto* entry = std::get_if<line::Entry>(&classified.value());
      if (entry == nullptr) continue;
      for (const auto& name : entry->names) {
        auto [it, inserted] =
            index.try_emplace(entry_key::ascii_lower(name.text()), records.size());
        if (inserted) records.push_back(Record{name.text(), {}});
        records[it->second].sightings.push_back(Sighting{set.label, n, entry->address});
      }
    }
  }

  std::vector<Conflict> conflicts;
  for (const Record& record : records) {
    std::vector<Party> parties = disagreeing_parties(record, address::Family::V4);
    std::vector<Party> v6 = disagreeing_parties(record, address::Family::V6);
    parties.insert(parties.end(), v6.begin(), v6.end());
    if (!parties.empty()) conflicts.push_back(Conflict{record.name, std::move(parties)});
  }
  return conflicts;
}

}  // namespace hosts_core::conflict
