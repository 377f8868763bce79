// A result box for engine tests: a string, two option states and counters of what the
// comparison did with them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/result_box.h"

namespace tandrel::test {

class FakeResultBox : public ResultBox {
  public:
    explicit FakeResultBox(std::string lineEnd = "\r\n") : lineEnd_(std::move(lineEnd)) {}

    std::string text;
    bool spaceSeparator = true;
    bool shortNames = false;
    int replaceCount = 0;
    int scrollBarUpdates = 0;

    const char* LineEnd() const override { return lineEnd_.c_str(); }
    int TextLength() override { return static_cast<int>(text.size()); }
    int CopyText(char* buffer, int maxCount) override {
        if (maxCount <= 0) {
            return 0;
        }
        const int count = std::min(static_cast<int>(text.size()), maxCount - 1);
        std::memcpy(buffer, text.data(), static_cast<size_t>(count));
        buffer[count] = '\0';
        return count;
    }
    void ReplaceText(const char* newText) override {
        text = newText;
        ++replaceCount;
    }
    bool IsSpaceSeparatorOn() override { return spaceSeparator; }
    bool IsShortNamesOn() override { return shortNames; }
    void UpdateScrollBars() override { ++scrollBarUpdates; }

  private:
    std::string lineEnd_;
};

}  // namespace tandrel::test
