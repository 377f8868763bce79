// A run of many comparisons: two folders walked side by side, or pairs one after another. Each
// pair of regular files is compared into the record sink as a comparison of its own; every
// other entry goes to the tree sink, and the totals add up as the run goes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/comparison.h"
#include "engine/record_sink.h"
#include "engine/tree_sink.h"

namespace tandrel {

class TreeComparison {
  public:
    // options apply to every pair; its progress, when set, is told the positions compared of the
    // pair at hand. stopRequested, when set, is asked between entries.
    TreeComparison(const ComparisonOptions& options, RecordSink& pairs, TreeSink& entries,
                   std::function<bool()> stopRequested = {})
        : options_(options), pairs_(pairs), entries_(entries), stop_(std::move(stopRequested)) {}

    // Compares two regular files (found so, or named so) as one pair of the run. False when the
    // run has to end: a stop, or an output that takes no more.
    bool ComparePair(const std::string& first, const std::string& second);
    // Walks the two folders depth first, entries in byte order of their names, never following
    // a link nor opening anything but folders and regular files. False when the run has to end.
    bool CompareFolders(const std::string& first, const std::string& second);
    // An entry that could not be compared, counted as an error.
    bool Error(const std::string& path, const std::string& reason);

    TreeTotals& Totals() { return totals_; }
    // Pairs whose comparison is over, and the positions they compared.
    uint64_t PairsDone() const { return pairsDone_; }
    uint64_t BytesDone() const { return bytesDone_; }
    // The output's or the run's trouble that ended it (empty when it ran to its end).
    const Trouble& Fault() const { return fault_; }

  private:
    bool Going();
    bool CompareEntries(const std::string& first, const std::string& second);
    bool Entry(const std::string& first, const std::string& second, const FolderEntry& a,
               const FolderEntry& b);

    ComparisonOptions options_;
    RecordSink& pairs_;
    TreeSink& entries_;
    std::function<bool()> stop_;
    TreeTotals totals_;
    uint64_t pairsDone_ = 0;
    uint64_t bytesDone_ = 0;
    Trouble fault_;
    std::optional<ComparisonScratch> scratch_;  // every pair's, made at the first
};

}  // namespace tandrel
