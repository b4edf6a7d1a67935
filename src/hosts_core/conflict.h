// Finds the host names that the switched-on entries of a group of sets map to
// more than one address, with every line that takes part. IPv4 and IPv6 are
// judged apart; names are compared lowercased in ASCII.
#ifndef LWK_HOSTS_CORE_CONFLICT_H_
#define LWK_HOSTS_CORE_CONFLICT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "hosts_core/address.h"
#include "hosts_core/block.h"

namespace hosts_core::conflict {

// One set as detection sees it: a label copied into the results, and its lines.
struct ConflictSet {
  std::string label;
  std::vector<block::BlockLine> lines;
};

// One appearance of a name: the set's label, the 1-based line within the set
// (every line counts, switched on or not), and the entry's address.
struct Sighting {
  std::string set;
  std::uint64_t line;
  address::Address address;
  friend bool operator==(const Sighting&, const Sighting&) = default;
};
using Party = Sighting;

// Everything seen of one name; `name` is spelled as at its first sighting.
struct Record {
  std::string name;
  std::vector<Sighting> sightings;
};

struct Conflict {
  std::string name;
  std::vector<Party> parties;  // never empty; IPv4 parties first, then IPv6
  friend bool operator==(const Conflict&, const Conflict&) = default;
};

// Returns every name mapped to two or more distinct addresses of one family,
// in the order the names were first seen. Cannot fail.
std::vector<Conflict> detect(const std::vector<ConflictSet>& sets);

// Returns the record's sightings of `family`, in order, when they hold at least
// two distinct addresses; otherwise none.
std::vector<Party> disagreeing_parties(const Record& record, address::Family family);

}  // namespace hosts_core::conflict

#endif  // LWK_HOSTS_CORE_CONFLICT_H_
