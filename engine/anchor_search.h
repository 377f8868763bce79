// Where two byte streams that stopped matching line up again: the anchor of an aligned
// comparison. Blocks of the first stream are indexed in a small hash table and a rolling hash
// runs over the second, in windows that grow until a match is found or the bound is reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tandrel {

// The most bytes the search looks ahead in each stream. An insertion or a deletion of up to
// 1 MiB (1048576 bytes) is found with room to spare for a change before it.
inline constexpr size_t kAlignWindow = 1048576 + 65536;

struct Anchor {
    bool found = false;
    // Bytes of each stream before the match: first - second more bytes of the first than of the
    // second are deleted (or inserted, the other way round), the rest changed.
    size_t first = 0;
    size_t second = 0;
};

class AnchorSearch {
  public:
    // reach: the most bytes of the first stream any search will see (tables are sized for it).
    explicit AnchorSearch(uint64_t reach);
    // False when its tables could not be had.
    bool Ready() const { return !table_.empty(); }

    // The cheapest match at or after the start of a (count0 bytes) and b (count1 bytes), which
    // differ in their first byte: the least skipped bytes first + second; of those, the one
    // with the most changed bytes; then the one that skips fewer bytes of b. A match is 32
    // equal bytes, or equal bytes up to the end of both when ends says the counts end both
    // streams. Looks at most kAlignWindow bytes into each; any match of at least 47 bytes
    // whose start lies 1 MiB or less into both is found, unless its blocks also occur earlier
    // in a's window (the table keeps the first of equal blocks).
    // wide: search the whole window at once, without the smaller windows first (where the last
    // search found nothing, the next is likely to need the whole window too).
    Anchor Find(const uint8_t* a, size_t count0, const uint8_t* b, size_t count1, bool ends,
                bool wide = false);

  private:
    struct Slot {
        uint64_t hash;
        uint32_t position;
        uint32_t generation;
    };

    // Indexes the blocks of a that start in [from, to), keeping the first of equal ones.
    void Index(const uint8_t* a, size_t from, size_t to);
    const Slot* Lookup(uint64_t hash) const;
    void Forget();

    int tableBits_;
    int filterBits_;
    std::vector<Slot> table_;
    std::vector<uint64_t> filter_;     // one bit per hash prefix of an indexed block
    std::vector<uint32_t> filterSet_;  // the filter words set, to clear them
    uint32_t generation_ = 0;
};

}  // namespace tandrel
