// WordLookup: a flat hash index over the entries of a node-based word map
// (whose entries never move), so that filing a page finds each of its words
// with one probe of a compact table instead of a walk down a tree of
// strings. Open addressing with linear probing, at most half full; an entry
// leaves by shifting the rest of its run back (no tombstones), so probes
// stay as short as if it had never been added. Lookups can be prefetched a
// page's worth at a time.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace qoinfo {

template <typename Entry>  // a map's value_type whose `first` is the word
class WordLookup {
 public:
  static std::size_t HashOf(std::u16string_view word) {
    return std::hash<std::u16string_view>{}(word);
  }

  // Starts loading the slot where `hash` begins its probe.
  void Prefetch(std::size_t hash) const {
    if (!m_slots.empty()) __builtin_prefetch(&m_slots[hash & m_mask]);
  }

  // Starts loading the entry in the slot where `hash` begins its probe
  // (once that slot is at hand: after Prefetch).
  void PrefetchEntry(std::size_t hash) const {
    if (m_slots.empty()) return;
    if (const Entry* entry = m_slots[hash & m_mask].entry) __builtin_prefetch(entry);
  }

  Entry* Find(std::size_t hash, std::u16string_view word) const {
    if (m_slots.empty()) return nullptr;
    for (std::size_t at = hash & m_mask;; at = (at + 1) & m_mask) {
      const Slot& slot = m_slots[at];
      if (slot.entry == nullptr) return nullptr;
      if (slot.hash == hash && slot.entry->first == word) return slot.entry;
    }
  }

  // Adds an entry whose word is not in the index yet.
  void Insert(std::size_t hash, Entry* entry) {
    if ((m_count + 1) * 2 > m_slots.size()) Grow(m_count + 1);
    Place(hash, entry);
    ++m_count;
  }

  // Takes out `entry`, added under `hash`; nothing when it is not there.
  void Erase(std::size_t hash, const Entry* entry) {
    if (m_slots.empty()) return;
    std::size_t hole = hash & m_mask;
    while (m_slots[hole].entry != entry) {
      if (m_slots[hole].entry == nullptr) return;
      hole = (hole + 1) & m_mask;
    }
    // Each later entry of the run whose probe starts at or before the hole
    // moves into it, leaving a new hole behind.
    for (std::size_t at = (hole + 1) & m_mask; m_slots[at].entry != nullptr;
         at = (at + 1) & m_mask) {
      const std::size_t home = m_slots[at].hash & m_mask;
      if (((at - home) & m_mask) >= ((at - hole) & m_mask)) {
        m_slots[hole] = m_slots[at];
        hole = at;
      }
    }
    m_slots[hole] = Slot();
    --m_count;
  }

  // Room for `count` entries without growing.
  void Reserve(std::size_t count) {
    if (count * 2 > m_slots.size()) Grow(count);
  }

  void Clear() {
    m_slots.clear();
    m_mask = 0;
    m_count = 0;
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    Entry* entry = nullptr;
  };

  void Place(std::size_t hash, Entry* entry) {
    std::size_t at = hash & m_mask;
    while (m_slots[at].entry != nullptr) at = (at + 1) & m_mask;
    m_slots[at] = {hash, entry};
  }

  void Grow(std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2) size *= 2;
    std::vector<Slot> old(size);
    old.swap(m_slots);
    m_mask = size - 1;
    for (const Slot& slot : old) {
      if (slot.entry != nullptr) Place(slot.hash, slot.entry);
    }
  }

  std::vector<Slot> m_slots;
  std::size_t m_mask = 0;
  std::size_t m_count = 0;
};

}  // namespace qoinfo
