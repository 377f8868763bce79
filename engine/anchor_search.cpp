#include "engine/anchor_search.h"

#include <algorithm>
#include <cstring>

namespace tandrel {
namespace {

// A match is at least a block; blocks of the first stream are indexed at every stride, so a
// match of kBlock + kStride - 1 bytes always holds one.
constexpr size_t kBlock = 32;
constexpr size_t kStride = 16;
// Matches this cheap are tried one by one first: most differences between similar files are a
// few changed bytes, which this settles without touching the tables.
constexpr size_t kSmallCost = 4;
// The first window, and how much each next one is larger: a match d bytes away costs about 8 d
// to find, and a window with none costs little more than its own length.
constexpr size_t kFirstLevel = 256;
constexpr size_t kLevelGrowth = 8;

// At most 131072 slots for the 69632 blocks of a window, and a bit filter 32 times that (at most
// 512 KiB, which stays in the cache and lets under 2% of random positions through to the
// table); less for short files.
constexpr int kMostTableBits = 17;
constexpr int kFilterBitsOverTable = 5;
constexpr size_t kProbes = 8;

// The block hash is a polynomial in the bytes, so that it rolls one byte at a time.
constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
constexpr uint64_t PowerOfMultiplier(size_t n) {
    uint64_t power = 1;
    for (size_t k = 0; k < n; ++k) {
        power *= kMultiplier;
    }
    return power;
}
constexpr uint64_t kLeavingFactor = PowerOfMultiplier(kBlock);

uint64_t PolynomialHash(const uint8_t* p, size_t count) {
    uint64_t hash = 0;
    for (size_t k = 0; k < count; ++k) {
        hash = hash * kMultiplier + p[k];
    }
    return hash;
}

uint64_t BlockHash(const uint8_t* p) {
    return PolynomialHash(p, kBlock);
}

// Blocks at every stride share halves: a block's hash is its front half's shifted by the stride,
// plus its back half's, so each half is hashed once.
static_assert(kBlock == 2 * kStride);
constexpr uint64_t kHalfShift = PowerOfMultiplier(kStride);

struct Candidate {
    size_t first;
    size_t second;
};

size_t Cost(const Candidate& c) {
    return c.first + c.second;
}

size_t Spread(const Candidate& c) {
    return c.first > c.second ? c.first - c.second : c.second - c.first;
}

// The order of the tie rule: fewer skipped bytes, then more of them changed, then fewer of the
// second stream's skipped.
bool Better(const Candidate& x, const Candidate& y) {
    if (Cost(x) != Cost(y)) {
        return Cost(x) < Cost(y);
    }
    if (Spread(x) != Spread(y)) {
        return Spread(x) < Spread(y);
    }
    return x.second < y.second;
}

// The streams from the mismatch on, and whether their counts end both.
struct Streams {
    const uint8_t* a;
    size_t count0;
    const uint8_t* b;
    size_t count1;
    bool ends;

    // A match starts exactly at a[i] and b[j].
    bool MatchAt(size_t i, size_t j) const {
        if (i + kBlock <= count0 && j + kBlock <= count1) {
            return std::memcmp(a + i, b + j, kBlock) == 0;
        }
        return ends && i < count0 && count0 - i == count1 - j &&
               std::memcmp(a + i, b + j, count0 - i) == 0;
    }
};

}  // namespace

AnchorSearch::AnchorSearch(uint64_t reach) {
    const uint64_t blocks = std::min<uint64_t>(reach, kAlignWindow) / kStride + 1;
    tableBits_ = 4;
    while (tableBits_ < kMostTableBits && (uint64_t{1} << tableBits_) < 2 * blocks) {
        ++tableBits_;
    }
    filterBits_ = tableBits_ + kFilterBitsOverTable;
    table_.resize(size_t{1} << tableBits_, Slot{0, 0, 0});
    filter_.resize((size_t{1} << filterBits_) / 64, 0);
    filterSet_.reserve(blocks);
}

void AnchorSearch::Index(const uint8_t* a, size_t from, size_t to) {
    const size_t mask = table_.size() - 1;
    uint64_t front = from < to ? PolynomialHash(a + from, kStride) : 0;
    for (size_t i = from; i < to; i += kStride) {
        const uint64_t back = PolynomialHash(a + i + kStride, kStride);
        const uint64_t hash = front * kHalfShift + back;
        front = back;
        const uint64_t bit = hash >> (64 - filterBits_);
        filter_[bit / 64] |= uint64_t{1} << (bit % 64);
        filterSet_.push_back(static_cast<uint32_t>(bit / 64));
        const size_t home = static_cast<size_t>(hash >> (64 - tableBits_));
        for (size_t probe = 0; probe < kProbes; ++probe) {
            Slot& slot = table_[(home + probe) & mask];
            if (slot.generation != generation_) {
                slot = {hash, static_cast<uint32_t>(i), generation_};
                break;
            }
            if (slot.hash == hash) {
                break;  // the first of equal blocks stays: matches extend back less far
            }
        }
    }
}

const AnchorSearch::Slot* AnchorSearch::Lookup(uint64_t hash) const {
    const size_t mask = table_.size() - 1;
    const size_t home = static_cast<size_t>(hash >> (64 - tableBits_));
    for (size_t probe = 0; probe < kProbes; ++probe) {
        const Slot& slot = table_[(home + probe) & mask];
        if (slot.generation != generation_) {
            return nullptr;
        }
        if (slot.hash == hash) {
            return &slot;
        }
    }
    return nullptr;
}

void AnchorSearch::Forget() {
    for (const uint32_t word : filterSet_) {
        filter_[word] = 0;
    }
    filterSet_.clear();
}

Anchor AnchorSearch::Find(const uint8_t* a, size_t count0, const uint8_t* b, size_t count1,
                          bool ends, bool wide) {
    const Streams streams = {a, count0, b, count1, ends};
    for (size_t cost = 1; cost <= kSmallCost; ++cost) {
        for (size_t spread = cost % 2; spread <= cost; spread += 2) {
            const size_t more = (cost + spread) / 2;
            const size_t less = (cost - spread) / 2;
            if (streams.MatchAt(more, less)) {
                return {true, more, less};
            }
            if (spread > 0 && streams.MatchAt(less, more)) {
                return {true, less, more};
            }
        }
    }

    bool found = false;
    Candidate best = {0, 0};
    // Equal bytes up to the end of both are a match however few they are.
    if (ends && count0 <= kAlignWindow && count1 <= kAlignWindow) {
        size_t tail = 0;
        while (tail < count0 && tail < count1 && a[count0 - 1 - tail] == b[count1 - 1 - tail]) {
            ++tail;
        }
        if (tail > 0) {
            found = true;
            best = {count0 - tail, count1 - tail};
        }
    }

    if (++generation_ == 0) {
        std::fill(table_.begin(), table_.end(), Slot{0, 0, 0});
        generation_ = 1;
    }
    size_t indexed = 0;  // the next block start to index
    for (size_t level = wide ? kAlignWindow : kFirstLevel;; level *= kLevelGrowth) {
        // A level within a factor of two of the whole window is the whole window: the smaller
        // one would cost nearly as much and find little more.
        const size_t window = level * 2 > kAlignWindow ? kAlignWindow : level;
        const size_t w0 = std::min(count0, window);
        const size_t w1 = std::min(count1, window);
        if (w0 >= kBlock) {
            Index(a, indexed, w0 - kBlock + 1);
            indexed = std::max(indexed, (w0 - kBlock) / kStride * kStride + kStride);
        }
        // Pathological data (long runs matching on many diagonals) ends the level's look at
        // candidates early, so that a window costs a bounded multiple of its length.
        size_t work = 0;
        const size_t budget = 8 * window + 65536;
        int64_t lastDiagonal = INT64_MIN;
        size_t lastEnd = 0;
        if (indexed > 0 && w1 >= kBlock) {
            uint64_t hash = BlockHash(b);
            for (size_t j = 0;; ++j) {
                const uint64_t bit = hash >> (64 - filterBits_);
                if ((filter_[bit / 64] >> (bit % 64) & 1) != 0) {
                    const Slot* slot = Lookup(hash);
                    const size_t i = slot != nullptr ? slot->position : 0;
                    const int64_t diagonal = static_cast<int64_t>(i) - static_cast<int64_t>(j);
                    const auto spread = static_cast<size_t>(diagonal < 0 ? -diagonal : diagonal);
                    // Extending back along a diagonal never makes a match cheaper than its
                    // spread.
                    const bool worth = slot != nullptr && (!found || spread <= Cost(best)) &&
                                       !(diagonal == lastDiagonal && j < lastEnd);
                    if (worth && std::memcmp(a + i, b + j, kBlock) == 0) {
                        size_t back = 0;
                        while (back < i && back < j && a[i - back - 1] == b[j - back - 1]) {
                            ++back;
                        }
                        size_t ahead = kBlock;
                        while (i + ahead < w0 && j + ahead < w1 && a[i + ahead] == b[j + ahead]) {
                            ++ahead;
                        }
                        lastDiagonal = diagonal;
                        lastEnd = j + ahead;
                        work += back + ahead;
                        const Candidate candidate = {i - back, j - back};
                        if (!found || Better(candidate, best)) {
                            found = true;
                            best = candidate;
                        }
                        if (work > budget) {
                            break;
                        }
                    }
                }
                if (j + kBlock >= w1) {
                    break;
                }
                hash = hash * kMultiplier + b[j + kBlock] - b[j] * kLeavingFactor;
            }
        }
        const bool whole = window == kAlignWindow || (w0 == count0 && w1 == count1);
        // Every match cheaper than the best has been seen once the window holds a block of it.
        if (whole || (found && Cost(best) + kBlock + kStride - 2 <= window)) {
            break;
        }
    }
    Forget();
    return {found, best.first, best.second};
}

}  // namespace tandrel
