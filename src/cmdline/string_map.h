// The parser's maps from case-sensitive text keys. Their bucket count, hash and
// chain order are fixed, because the order in which they are walked is the
// order of the front end's arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <utility>

namespace lantern {

// The key's hash over its UTF-16 code units, whatever the width of wchar_t, so
// that every build walks a map in the same order. Long keys are sampled: only
// every (n / 10 + 1)-th unit takes part.
std::uint32_t HashStringKey(std::wstring_view key);

template <class Value>
class CStringMap {
 public:
  static constexpr std::size_t kBucketCount = 17;

  static std::size_t BucketOf(std::wstring_view key) { return HashStringKey(key) % kBucketCount; }

  // The key's value, or null when the key is not in the map.
  const Value* Lookup(std::wstring_view key) const {
    const std::uint32_t hash = HashStringKey(key);
    for (const Entry& entry : buckets_[hash % kBucketCount]) {
      if (entry.hash == hash && entry.key == key) {
        return &entry.value;
      }
    }
    return nullptr;
  }
  Value* Lookup(std::wstring_view key) {
    return const_cast<Value*>(static_cast<const CStringMap&>(*this).Lookup(key));
  }
  bool Contains(std::wstring_view key) const { return Lookup(key) != nullptr; }

  // A new key goes to the head of its bucket; an existing key keeps its place
  // and takes the new value.
  void Set(std::wstring_view key, Value value) {
    if (Value* existing = Lookup(key)) {
      *existing = std::move(value);
      return;
    }
    const std::uint32_t hash = HashStringKey(key);
    buckets_[hash % kBucketCount].push_front(Entry{hash, std::wstring(key), std::move(value)});
    ++count_;
  }

  // False when the key was not in the map.
  bool Remove(std::wstring_view key) {
    const std::uint32_t hash = HashStringKey(key);
    Chain& chain = buckets_[hash % kBucketCount];
    for (auto it = chain.begin(); it != chain.end(); ++it) {
      if (it->hash == hash && it->key == key) {
        chain.erase(it);
        --count_;
        return true;
      }
    }
    return false;
  }

  std::size_t Count() const { return count_; }
  bool IsEmpty() const { return count_ == 0; }

  // Calls visit(key, value) for every entry: buckets 0 to 16, each from the
  // head of its chain, so keys that share a bucket come newest first.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (const Chain& chain : buckets_) {
      for (const Entry& entry : chain) {
        visit(entry.key, entry.value);
      }
    }
  }

 private:
  struct Entry {
    std::uint32_t hash;
    std::wstring key;
    Value value;
  };
  using Chain = std::list<Entry>;

  std::array<Chain, kBucketCount> buckets_;
  std::size_t count_ = 0;
};

}  // namespace lantern
