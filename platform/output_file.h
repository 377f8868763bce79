// The file a headless run writes its result to. It is opened only once both inputs are open, so
// a mistyped input never costs the report's old content, and it is checked against the open
// inputs by what it is, not by its name, before anything is cut.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/file_replacement.h"
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
    // the inputs, through links or other nodes of one device included. asNewFile: a regular file
    // at path, or none, is replaced through FileReplacement at Close (and refused by its rules:
    // a link, other hard links); anything else (a FIFO, a device) is written as it is.
    bool Open(const char* path, bool binary, bool asNewFile,
              std::span<const InputFile* const> inputs, Trouble& trouble);
    std::FILE* Stream() const { return stream_; }
    // Flushes and closes; false, with the reason, when the result was not written whole. A new
    // file is flushed to the disk and renamed over the path when keep holds, else removed.
    bool Close(Trouble& trouble, bool keep = true);

  private:
    // handle is a file descriptor, or a Win32 HANDLE.
    static bool NamesAnInput(intptr_t handle, std::span<const InputFile* const> inputs);
    // The stream over an open handle; closes it when none can be had.
    bool OpenStream(intptr_t handle, Trouble& trouble);

    std::FILE* stream_ = nullptr;
    bool binary_ = false;  // Windows: no CR LF for "\n"
    bool standardOutput_ = false;
    const char* path_ = "";
    bool replacing_ = false;  // the stream writes replacement_'s new file
    FileReplacement replacement_;
};

}  // namespace tandrel
