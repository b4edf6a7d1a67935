// Finds the host names that the switched-on entries of a group of sets map to
// more than one address, with every line that takes part. IPv4 and IPv6 are
// judged apart; names are compared lowercased in ASCII.
#ifndef LWK_HOSTS_CORE_CONFLICT_H_
#define LWK_HOSTS_CORE_CONFLICT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hosts_core/address.h"
#include "hosts_core/block.h"
#include "hosts_core/entry_key.h"
#include "hosts_core/line.h"

namespace hosts_core::conflict {

// One set as detection sees it: a label copied into the results, and its
// lines, whose texts are views that must outlive the call.
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

// One line that takes part in a conflict: an independent copy of a sighting.
struct Party {
  std::string set;
  std::uint64_t line;
  address::Address address;
  friend bool operator==(const Party&, const Party&) = default;
};

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

// Gathers the names of entry lines one line at a time, and reports the names
// that they map to two or more distinct addresses of one family: what detect()
// finds, for a caller that has already classified the lines. The fast path of
// the request check, 4.6x detect() with the classification included
// (BM_Detector in bench/fast_paths_bench.cpp); its results are checked
// against detect(). The texts of
// the entries added must outlive the Detector.
class Detector {
 public:
  // `expected_lines`: about how many lines will be added, to reserve room.
  explicit Detector(std::size_t expected_lines = 0);

  // Notes every name of `entry`, the entry on the 1-based line `line` of the
  // set at position `set`.
  void add(std::uint32_t set, std::uint64_t line, const line::EntryView& entry);

  // The conflicts among the lines added, in the order their names were first
  // seen; a party's set is labels[position]. REQUIRES: every position added
  // is below labels.size().
  std::vector<Conflict> conflicts(std::span<const std::string> labels) const;

 private:
  struct Seen {
    std::uint32_t set;
    std::uint32_t next;  // the record's next sighting, or kNone
    std::uint64_t line;
    address::Address address;
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;

  entry_key::KeyTable index_;         // lowercased name to record, and its first spelling
  std::vector<std::uint32_t> first_;  // per record, its first and last sighting
  std::vector<std::uint32_t> last_;
  std::vector<Seen> seen_;
};

// Returns every name mapped to two or more distinct addresses of one family,
// in the order the names were first seen. Cannot fail. One pass over the
// lines; the work grows with the number of names. Written plainly, as the
// rules read: a list of records and a hash index of the lowercased names.
std::vector<Conflict> detect(const std::vector<ConflictSet>& sets);

// Returns the record's sightings of `family`, in order, when they hold at least
// two distinct addresses; otherwise none.
std::vector<Party> disagreeing_parties(const Record& record, address::Family family);

}  // namespace hosts_core::conflict

#endif  // LWK_HOSTS_CORE_CONFLICT_H_
