// A patched copy of a file, written without ever writing the file itself: to a new OUTPUT, to
// standard output ("-"), or through FileReplacement to a new file that takes TARGET's place once
// it is complete and on disk. Until then TARGET is untouched, and any failure removes the new
// file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_replacement.h"
#include "platform/new_file.h"
#include "platform/trouble.h"

namespace tandrel {

class ReplacementFile {
  public:
    explicit ReplacementFile(const ReplacementSeam* seam = nullptr)
        : output_(seam), replacement_(seam) {}
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile();

    // Opens TARGET for reading, its patched copy to go to output ("-": standard output), or
    // with output null to replace TARGET (see FileReplacement for what is refused then).
    // Anything but a regular file is refused.
    bool OpenTarget(const char* target, const char* output, Trouble& trouble);
    // TARGET's size when it was opened.
    uint64_t TargetSize() const { return size_; }
    // Reads exactly count bytes of TARGET from offset; fewer is trouble (TARGET was cut short).
    bool ReadTarget(uint64_t offset, void* buffer, size_t count, Trouble& trouble);

    // Creates the new file: OUTPUT, which must not exist yet, or a new file in TARGET's folder.
    // OUTPUT gets TARGET's permission bits less the umask and the setuid, setgid and sticky bits
    // (on Windows the default attributes).
    bool Create(Trouble& trouble);
    bool Write(const void* data, size_t count, Trouble& trouble);
    // Flushes the new file to disk and keeps it, or replaces TARGET with it.
    bool Commit(Trouble& trouble);

  private:
    intptr_t Target() const { return replacing_ ? replacement_.TargetHandle() : target_; }

    std::string targetPath_;
    std::string outputPath_;
    intptr_t target_ = NewFile::kNoHandle;  // TARGET when not replaced
    bool replacing_ = false;                // no OUTPUT: the new file replaces TARGET
    bool standardOutput_ = false;           // OUTPUT "-"
    uint32_t mode_ = 0;                     // TARGET's st_mode (Linux), which OUTPUT's is made from
    uint64_t size_ = 0;
    NewFile output_;
    FileReplacement replacement_;
};

}  // namespace tandrel
