// Edits not yet applied, carried onto the sets of a file changed elsewhere.
#include <algorithm>
#include <optional>
#include <string>

#include "client/failures.h"
#include "client/manager.h"

namespace lantern_wharf::manager {
namespace {

// The set named `name` among `sets`, or null.
const Set* named(const Sets& sets, std::string_view name) {
  const auto at =
      std::find_if(sets.begin(), sets.end(), [&](const Set& s) { return s.name == name; });
  return at == sets.end() ? nullptr : &*at;
}

bool has_twins(const Sets& sets) {
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (named(sets, sets[i].name) != &sets[i]) return true;
  }
  return false;
}

// The names of `sets` that `other` holds too, in the order of `sets`.
std::vector<std::string_view> shared_order(const Sets& sets, const Sets& other) {
  std::vector<std::string_view> out;
  for (const Set& set : sets) {
    if (named(other, set.name) != nullptr) out.push_back(set.name);
  }
  return out;
}

// The set of one name in the merge, and the sentence when it is kept
// against the file.
struct Decision {
  std::optional<Set> set;
  std::string note;
};

Decision decide(const Set* base, const Set* mine, const Set* theirs) {
  const auto was = [&](const Set* set) { return base != nullptr && *set == *base; };
  if (mine != nullptr && theirs != nullptr) {
    if (base == nullptr && *mine != *theirs) {
      return {*mine, "the set " + in_quotes(mine->name) +
                         " was added here and elsewhere: the one made here is kept"};
    }
    if (was(mine)) return {*theirs, {}};
    if (base == nullptr || was(theirs) || *theirs == *mine) return {*mine, {}};
    return {*mine, "the set " + in_quotes(mine->name) +
                       " was changed here and elsewhere: the change made here is kept"};
  }
  if (mine != nullptr) {
    if (base == nullptr) return {*mine, {}};
    if (was(mine)) return {std::nullopt, {}};
    return {*mine, "the set " + in_quotes(mine->name) +
                       " was changed here and removed elsewhere: it is kept as changed here"};
  }
  if (theirs != nullptr) {
    if (base == nullptr) return {*theirs, {}};
    if (was(theirs)) return {std::nullopt, {}};
    return {*theirs,
            "the set " + in_quotes(theirs->name) +
                " was removed here and changed elsewhere: it is kept as changed elsewhere"};
  }
  return {std::nullopt, {}};
}

}  // namespace

Merged merge(const Sets& base, const Sets& mine, const Sets& theirs) {
  if (mine == base) return {theirs, {}};
  if (has_twins(base) || has_twins(mine) || has_twins(theirs)) {
    return {mine, {"the sets hold two sets of one name, so the edits made here are kept whole"}};
  }
  const bool reordered_here = shared_order(base, mine) != shared_order(mine, base);
  const Sets& lead = reordered_here ? mine : theirs;
  const Sets& rest = reordered_here ? theirs : mine;
  std::vector<std::string_view> names;
  for (const Set& set : lead) names.push_back(set.name);
  for (const Set& set : rest) {
    if (named(lead, set.name) == nullptr) names.push_back(set.name);
  }
  Merged out;
  for (const std::string_view name : names) {
    Decision decision = decide(named(base, name), named(mine, name), named(theirs, name));
    if (decision.set) out.sets.push_back(std::move(*decision.set));
    if (!decision.note.empty()) out.notes.push_back(std::move(decision.note));
  }
  return out;
}

}  // namespace lantern_wharf::manager
