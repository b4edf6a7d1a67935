#include "hosts_core/entry_key.h"

#include <functional>

namespace hosts_core::entry_key {

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

EntryKey EntryKey::of_line(const line::Entry& entry) {
  std::vector<std::string> names;
  names.reserve(entry.names.size());
  for (const auto& name : entry.names) names.push_back(ascii_lower(name.text()));
  return EntryKey{entry.address, std::move(names)};
}

std::size_t EntryKey::hash() const {
  std::size_t h = address.hash();
  for (const auto& name : names) {
    // Combine as boost::hash_combine does; the length keeps ["ab"] and ["a","b"] apart.
    h ^= std::hash<std::string>{}(name) + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
  }
  return h;
}

}  // namespace hosts_core::entry_key
