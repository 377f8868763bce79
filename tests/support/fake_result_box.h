// A result box for engine tests: a string, two option states and counters of what the
// comparison did with them.
#pragma once

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
        const std::string part = maxCount > 0 ? text.substr(0, maxCount - 1) : "";
        std::memcpy(buffer, part.c_str(), maxCount > 0 ? part.size() + 1 : 0);
        return static_cast<int>(part.size());
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
