// The identity of an entry line, by which rendering leaves out repeated
// entries: the address, and the host names lowercased in ASCII, in line order.
#ifndef LWK_HOSTS_CORE_ENTRY_KEY_H_
#define LWK_HOSTS_CORE_ENTRY_KEY_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hosts_core/address.h"
#include "hosts_core/line.h"

namespace hosts_core::entry_key {

// Returns a copy of `text` with "A" to "Z" turned into "a" to "z" and every
// other octet kept.
std::string ascii_lower(std::string_view text);

struct EntryKey {
  address::Address address;
  std::vector<std::string> names;

  static EntryKey of_line(const line::Entry& entry);

  std::size_t hash() const;
  friend bool operator==(const EntryKey&, const EntryKey&) = default;
};

}  // namespace hosts_core::entry_key

template <>
struct std::hash<hosts_core::entry_key::EntryKey> {
  std::size_t operator()(const hosts_core::entry_key::EntryKey& k) const { return k.hash(); }
};

#endif  // LWK_HOSTS_CORE_ENTRY_KEY_H_
