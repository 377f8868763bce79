// What a comparison in dialog mode needs of the dialog: the result box and the two options.
#pragma once

namespace tandrel {

class ResultBox {
  public:
    virtual ~ResultBox() = default;

    // The line end the box's window system uses ("\r\n" in a Win32 edit control).
    virtual const char* LineEnd() const = 0;
    virtual int TextLength() = 0;
    // Copies at most maxCount - 1 characters and a terminating zero; returns the count copied.
    virtual int CopyText(char* buffer, int maxCount) = 0;
    virtual void ReplaceText(const char* text) = 0;
    virtual bool IsSpaceSeparatorOn() = 0;
    virtual bool IsShortNamesOn() = 0;
    virtual void UpdateScrollBars() = 0;
};

}  // namespace tandrel
