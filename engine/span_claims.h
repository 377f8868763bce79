// Byte ranges claimed one after another, where an earlier claim wins: turns structures that may
// overlap into sorted, disjoint spans that a lookup can search.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "engine/section_map.h"

namespace tandrel {

class SpanClaims {
  public:
    // Claims for owner the parts of [begin, end) that no earlier claim holds.
    void Fill(uint64_t begin, uint64_t end, uint32_t owner);
    // Claims all of [begin, end) for owner when no earlier claim holds any of it; otherwise
    // claims nothing and returns false.
    bool TakeWhole(uint64_t begin, uint64_t end, uint32_t owner);
    bool IsFree(uint64_t begin, uint64_t end) const;
    // The spans claimed, sorted by offset; leaves the claims empty.
    std::vector<PeSpan> TakeSorted();

  private:
    // The union of the claims as disjoint stretches, begin to end, so that a claim over many
    // earlier ones costs O(log n) amortised: the stretches it passes merge into one.
    std::map<uint64_t, uint64_t> held_;
    std::vector<PeSpan> spans_;
};

}  // namespace tandrel
