// A new, empty set, as a window makes one before its first line is typed.
#include <string>

#include "client/failures.h"
#include "client/manager.h"

namespace lantern_wharf::manager {

lwk::Result<void, Failure> add_set(Sets& sets, std::string_view name) {
  if (name.empty()) return bad_input("a set's name cannot be empty");
  if (find(sets, name)) return name_taken(name);
  sets.push_back({std::string(name), {}});
  return lwk::success();
}

}  // namespace lantern_wharf::manager
