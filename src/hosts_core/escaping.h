// Keeps a set's name on its one heading line.
#ifndef LWK_HOSTS_CORE_ESCAPING_H_
#define LWK_HOSTS_CORE_ESCAPING_H_

#include <optional>
#include <string>
#include <string_view>

namespace hosts_core::escaping {

// Returns `text` with every line feed written as backslash n, every carriage
// return as backslash r and every backslash as two backslashes. Every other
// octet is copied unchanged.
std::string escape(std::string_view text);

// The text that escape() made `escaped` from, or nothing when `escaped` holds
// a backslash that escape() never writes: one not followed by "n", "r" or a
// second backslash. unescape(escape(t)) == t for every text t.
std::optional<std::string> unescape(std::string_view escaped);

}  // namespace hosts_core::escaping

#endif  // LWK_HOSTS_CORE_ESCAPING_H_
