#include "engine/span_claims.h"

#include <algorithm>
#include <iterator>

namespace tandrel {

void SpanClaims::Fill(uint64_t begin, uint64_t end, uint32_t owner) {
    if (begin >= end) {
        return;
    }
    auto it = held_.upper_bound(begin);
    if (it != held_.begin() && std::prev(it)->second > begin) {
        --it;
    }
    uint64_t at = begin;
    uint64_t mergedBegin = begin;
    uint64_t mergedEnd = end;
    while (it != held_.end() && it->first < end) {
        if (it->first > at) {
            spans_.push_back({at, it->first, owner});
        }
        at = std::max(at, it->second);
        mergedBegin = std::min(mergedBegin, it->first);
        mergedEnd = std::max(mergedEnd, it->second);
        it = held_.erase(it);
    }
    if (at < end) {
        spans_.push_back({at, end, owner});
    }
    held_.emplace(mergedBegin, mergedEnd);
}

bool SpanClaims::IsFree(uint64_t begin, uint64_t end) const {
    const auto after = held_.upper_bound(begin);
    const bool before = after != held_.begin() && std::prev(after)->second > begin;
    return !before && (after == held_.end() || after->first >= end);
}

bool SpanClaims::TakeWhole(uint64_t begin, uint64_t end, uint32_t owner) {
    if (begin >= end || !IsFree(begin, end)) {
        return false;
    }
    Fill(begin, end, owner);
    return true;
}

std::vector<PeSpan> SpanClaims::TakeSorted() {
    std::sort(spans_.begin(), spans_.end(),
              [](const PeSpan& a, const PeSpan& b) { return a.begin < b.begin; });
    held_.clear();
    std::vector<PeSpan> sorted;
    sorted.swap(spans_);
    return sorted;
}

}  // namespace tandrel
