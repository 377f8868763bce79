// The file a headless run writes its result to. It is opened only once both inputs are open, so
// a mistyped input never costs the report's old content, and it is checked against the open
// inputs by what it is, not by its name, before anything is cut.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/input_file.h"
#include "platform/trouble.h"

namespace tandrel {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens path for writing, in text mode (line ends as the platform's text files have them) or
    // binary. "-" (Linux) and any path to the file open as standard output mean standard output,
    // written as the shell opened it. Refuses, with nothing truncated, a path that names one of
    // the inputs, through links or other nodes of one device included.
    bool Open(const char* path, bool binary, std::span<const InputFile* const> inputs,
              Trouble& trouble);
    std::FILE* Stream() const { return stream_; }
    // Flushes and closes; false, with the reason, when the result was not written whole.
    bool Close(Trouble& trouble);

  private:
    // handle is a file descriptor, or a Win32 HANDLE.
    static bool NamesAnInput(intptr_t handle, std::span<const InputFile* const> inputs);

    std::FILE* stream_ = nullptr;
    bool standardOutput_ = false;
    const char* path_ = "";
};

}  // namespace tandrel
