// A result box for engine tests: a string, two option states and counters of what the
// comparison did with them.
#pragma once

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
    // A comparison only replaces the box's text; it never reads it.
    int TextLength() override { return 0; }
    int CopyText(char*, int) override { return 0; }
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
