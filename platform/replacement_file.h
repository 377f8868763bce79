// A patched copy of a file, written without ever writing the file itself: to a new OUTPUT, or to
// a new file beside TARGET, named ".NAME.tandrel-XXXXXX", that replaces TARGET by rename once it
// is complete and on disk. Until then TARGET is untouched, and any failure removes the new file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/trouble.h"

namespace tandrel {

// Faults that tests cannot make for real when they run as root: each makes one step fail as
// the system would.
struct ReplacementSeam {
    bool failCreate = false;  // creating the new file fails: a read-only file system
    bool failWrite = false;   // writing the new file fails: no space left
    // Runs with TARGET's path just before TARGET is checked a last time and replaced.
    std::function<void(const std::string&)> beforeReplace;
};

// What a replacement checks TARGET against: on Linux the device, inode, size and the
// modification and change times in nanoseconds; on Windows the volume serial, the file index,
// the size and the last write time (change stays 0).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    uint64_t size = 0;
    int64_t modified = 0;
    int64_t changed = 0;

    bool operator==(const FileIdentity&) const = default;
};

class ReplacementFile {
  public:
    explicit ReplacementFile(const ReplacementSeam* seam = nullptr) : seam_(seam) {}
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Removes the new file unless Commit succeeded.
    ~ReplacementFile();

    // Opens TARGET for reading, its patched copy to go to output, or with output null to replace
    // TARGET. Anything but a regular file is refused; to be replaced, also a symbolic link, a
    // file with other hard links, one that is setuid or setgid or that the user could not write
    // (on Windows: a reparse point or a read-only file).
    bool OpenTarget(const char* target, const char* output, Trouble& trouble);
    // TARGET's size when it was opened.
    uint64_t TargetSize() const { return identity_.size; }
    // Reads exactly count bytes of TARGET from offset; fewer is trouble (TARGET was cut short).
    bool ReadTarget(uint64_t offset, void* buffer, size_t count, Trouble& trouble);

    // Creates the new file: OUTPUT, which must not exist yet, or a new file in TARGET's folder.
    // OUTPUT gets TARGET's permission bits less the umask and the setuid, setgid and sticky bits
    // (on Windows the default attributes).
    bool Create(Trouble& trouble);
    bool Write(const void* data, size_t count, Trouble& trouble);
    // Flushes the new file to disk and keeps it. In place, it first takes TARGET's owner, group,
    // extended attributes and permission bits (refused when one cannot be kept), then replaces
    // TARGET by rename once TARGET is checked to be the file that was read, unchanged.
    bool Commit(Trouble& trouble);

  private:
    bool Replace(Trouble& trouble);
    void Discard();

    static constexpr intptr_t kNoHandle = -1;
    const ReplacementSeam* seam_;
    std::string targetPath_;
    std::string outputPath_;
    std::string newPath_;          // OUTPUT, or the new file beside TARGET; empty until Create
    intptr_t target_ = kNoHandle;  // a file descriptor, or a Win32 HANDLE
    intptr_t new_ = kNoHandle;
    bool replacing_ = false;  // no OUTPUT: the new file replaces TARGET
    bool kept_ = false;
    uint32_t mode_ = 0;  // TARGET's st_mode (Linux), which OUTPUT's is made from
    FileIdentity identity_;
};

// The name of the new file written beside TARGET before it replaces it, with the six X that are
// made unique: NAME cut short where the whole would pass the 255 bytes a name may have.
inline std::string ReplacementTemplate(std::string_view targetName) {
    constexpr std::string_view kSuffix = ".tandrel-XXXXXX";
    constexpr size_t kLongestName = 255 - 1 - kSuffix.size();
    std::string name(1, '.');
    name.append(targetName.substr(0, kLongestName)).append(kSuffix);
    return name;
}

// The last part of a path, after its last separator ('/'; on Windows also '\\' and a drive's ':').
std::string_view FileNameOf(std::string_view path);

}  // namespace tandrel
