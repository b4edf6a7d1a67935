#include "hosts_core/entry_key.h"

#include <bit>
#include <cstring>
#include <functional>

namespace hosts_core::entry_key {
namespace {

inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Lowercases the ASCII letters among eight octets at once.
inline std::uint64_t fold8(std::uint64_t x) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  const std::uint64_t heptets = x & ~kHigh;
  const std::uint64_t above_z = heptets + kOnes * (0x7F - 'Z');  // high bit: above "Z"
  const std::uint64_t from_a = heptets + kOnes * (0x80 - 'A');   // high bit: "A" or above
  const std::uint64_t upper = ~x & (from_a ^ above_z) & kHigh;   // ASCII, "A" to "Z"
  return x | (upper >> 2);
}

inline std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  h ^= v;
  h *= 0x9E3779B97F4A7C15ULL;
  return h ^ (h >> 32);
}

// The octets of `name` from `at` (fewer than eight remain), in the low bytes
// of a word whose other bytes are zero. A name of eight octets or more gives
// its last eight in one load, shifted: a copy of a variable length would stall
// the load that reads it back.
inline std::uint64_t tail_word(std::string_view name, std::size_t at) {
  const std::size_t left = name.size() - at;
  if (left == 0) return 0;
  std::uint64_t rest = 0;
  if (name.size() >= 8) {
    std::memcpy(&rest, name.data() + name.size() - 8, sizeof rest);
    static_assert(std::endian::native == std::endian::little, "the first octet is the low one");
    return rest >> (8 * (8 - left));
  }
  for (std::size_t k = left; k-- > 0;) rest = rest << 8 | static_cast<unsigned char>(name[at + k]);
  return rest;
}

// Hashes the names folded to lower case, eight octets at a time.
std::uint64_t hash_of(const address::Address& address, std::span<const std::string_view> names) {
  std::uint64_t h = address.hash();
  for (std::string_view name : names) {
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
      std::uint64_t word;
      std::memcpy(&word, name.data() + i, sizeof word);
      h = mix(h, fold8(word));
    }
    // The length keeps ["ab"] and ["a", "b"] apart.
    h = mix(h, fold8(tail_word(name, i)) ^ (std::uint64_t{name.size()} << 56));
  }
  return h;
}

// Whether two names are equal lowercased in ASCII.
bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = fold(c);
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

bool KeyTable::holds(const Stored& key, const address::Address& address,
                     std::span<const std::string_view> names) const {
  if (!(key.address == address) || key.count != names.size()) return false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!equal_folded(names_[key.first + i], names[i])) return false;
  }
  return true;
}

void KeyTable::reserve(std::size_t keys, std::size_t names) {
  keys_.reserve(keys);
  names_.reserve(names);
  std::size_t slots = slots_.empty() ? 64 : slots_.size();
  while (slots < keys * 2) slots *= 2;
  if (slots > slots_.size()) rehash(slots);
}

void KeyTable::grow() { rehash(slots_.empty() ? 64 : slots_.size() * 2); }

void KeyTable::rehash(std::size_t size) {
  std::vector<std::uint64_t> slots(size, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::uint32_t id = 0; id < keys_.size(); ++id) {
    std::size_t slot = keys_[id].hash & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = (keys_[id].hash & 0xFFFFFFFF00000000ULL) | (std::uint64_t{id} + 1);
  }
  slots_ = std::move(slots);
}

std::pair<std::uint32_t, bool> KeyTable::insert(const address::Address& address,
                                                std::span<const std::string_view> names) {
  // Kept at most half full, so that probes stay short.
  if ((keys_.size() + 1) * 2 > slots_.size()) grow();
  const std::uint64_t hash = hash_of(address, names);
  const std::uint64_t tag = hash & 0xFFFFFFFF00000000ULL;
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    if ((slots_[slot] & 0xFFFFFFFF00000000ULL) != tag) continue;
    const auto id = static_cast<std::uint32_t>(slots_[slot] - 1);
    if (keys_[id].hash == hash && holds(keys_[id], address, names)) return {id, false};
  }
  const auto id = static_cast<std::uint32_t>(keys_.size());
  keys_.push_back(Stored{address, hash, static_cast<std::uint32_t>(names_.size()),
                         static_cast<std::uint32_t>(names.size())});
  names_.insert(names_.end(), names.begin(), names.end());
  slots_[slot] = tag | (std::uint64_t{id} + 1);
  return {id, true};
}

void WrittenEntries::reserve(std::size_t lines) {
  written_.reserve(lines, lines * 2);
  first_offer_.reserve(lines);
}

std::optional<std::size_t> WrittenEntries::repeat_of(std::string_view text) {
  const std::size_t offer = offered_++;
  const line::LineKind kind =
      line::inspect(text, line::MAX_LINE_OCTETS, line::MAX_NAMES, &entry_, nullptr);
  if (kind != line::LineKind::Entry) return std::nullopt;
  const auto [id, added] = written_.insert(entry_.address, entry_.names);
  if (added) {
    first_offer_.push_back(offer);
    return std::nullopt;
  }
  return first_offer_[id];
}

}  // namespace hosts_core::entry_key
