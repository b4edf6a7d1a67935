// The identity of an entry line, by which rendering leaves out repeated
// entries: the address, and the host names lowercased in ASCII, in line order.
#ifndef LWK_HOSTS_CORE_ENTRY_KEY_H_
#define LWK_HOSTS_CORE_ENTRY_KEY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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

// A hash table of keys, each an address and a list of host names compared
// lowercased in ASCII, as EntryKey compares them: 3.1x a std::unordered_set
// of EntryKey (BM_KeyTable in bench/fast_paths_bench.cpp). Each key gets an
// id, from 0 in the order the keys were first added. The table keeps views of
// the names as first added, which must outlive it, and folds them only to
// compare; adding keys allocates only as the table grows.
class KeyTable {
 public:
  // Adds the key, unless it is there already. Returns its id, and whether it
  // was new.
  std::pair<std::uint32_t, bool> insert(const address::Address& address,
                                        std::span<const std::string_view> names);

  std::size_t size() const { return keys_.size(); }

  // The names of key `id` as they were first added, letter case included.
  std::span<const std::string_view> names_of(std::uint32_t id) const {
    return std::span(names_).subspan(keys_[id].first, keys_[id].count);
  }

  // Makes room for `keys` keys of `names` names in all, so that adding them
  // needs no further growth. Only the slots, two for each key, are touched
  // now; the rest is capacity, which costs no memory until used.
  void reserve(std::size_t keys, std::size_t names);

 private:
  struct Stored {
    address::Address address;
    std::uint64_t hash;
    std::uint32_t first;  // the key's names are names_[first, first + count)
    std::uint32_t count;
  };

  bool holds(const Stored& key, const address::Address& address,
             std::span<const std::string_view> names) const;
  void grow();
  // Puts every key into a new table of `size` slots, a power of two.
  void rehash(std::size_t size);

  std::vector<std::string_view> names_;
  std::vector<Stored> keys_;
  // Per slot: the high 32 bits of the key's hash, then the key's id + 1 in the
  // low 32 bits; 0 for an empty slot. Probes compare hashes without touching
  // the keys.
  std::vector<std::uint64_t> slots_;
};

// Which of two equal entries is written: the one rule that rendering and
// whoever foresees its result (the client, keeping a repeated line switched
// off rather than losing it) share. The switched-on lines are offered in the
// order rendering writes them, across all sets; an entry line whose key an
// earlier entry line already has is left out, and every other line (the
// first of each key, blank lines, comments, lines that do not classify) is
// written. Switched-off lines are never offered: they are always written and
// never compared.
class WrittenEntries {
 public:
  // Makes room for `lines` offered lines, so that offering them needs no
  // further growth.
  void reserve(std::size_t lines);

  // Offers the next switched-on line, whose text must outlive this object
  // (its names are kept as views). Returns nothing when the line is
  // written; otherwise the number, from 0 and counting every line offered,
  // of the earlier line that writes its entry.
  std::optional<std::size_t> repeat_of(std::string_view text);

 private:
  KeyTable written_;
  std::vector<std::size_t> first_offer_;  // per key id: the line that wrote it
  std::size_t offered_ = 0;
  line::EntryView entry_;  // reused for every line
};

}  // namespace hosts_core::entry_key

template <>
struct std::hash<hosts_core::entry_key::EntryKey> {
  std::size_t operator()(const hosts_core::entry_key::EntryKey& k) const { return k.hash(); }
};

#endif  // LWK_HOSTS_CORE_ENTRY_KEY_H_
