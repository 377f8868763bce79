// The progress line on standard error: bytes compared of the total, per cent, speed, time left,
// and pairs done of all pairs in a run of many. One line redrawn in place, at most ten times a
// second, erased at the end; it never goes into the report.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/options.h"

namespace tandrel {

class ProgressLine {
  public:
    // kAuto shows the line only on a terminal, once the run has lasted a second.
    explicit ProgressLine(ProgressMode mode);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Erase(); }

    // Whether the line may be shown at all: worth counting the totals for.
    bool Wanted() const { return wanted_; }
    void SetTotals(uint64_t bytes, uint64_t pairs) {
        totalBytes_ = bytes;
        totalPairs_ = pairs;
    }
    // The positions compared and the pairs done so far.
    void Update(uint64_t bytes, uint64_t pairs);
    void Erase();

    // The line for these figures, seconds after the start (for the tests of its wording).
    static std::string Text(uint64_t bytes, uint64_t totalBytes, uint64_t pairs,
                            uint64_t totalPairs, double seconds);

  private:
    using Clock = std::chrono::steady_clock;

    bool wanted_ = false;
    bool always_ = false;
    bool shown_ = false;
    size_t shownWidth_ = 0;
    uint64_t totalBytes_ = 0;
    uint64_t totalPairs_ = 0;
    Clock::time_point start_;
    Clock::time_point lastDrawn_;
};

}  // namespace tandrel
