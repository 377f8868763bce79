// The one way a file is replaced: a new file beside TARGET (see NewFile), written, given
// TARGET's owner, group, permission bits and extended attributes (ACLs among them on Linux;
// Windows: ReplaceFile keeps its security descriptor and attributes), flushed to the disk and
// renamed over TARGET, then the folder flushed. Until then TARGET is untouched, and when any of
// it cannot be kept TARGET is refused rather than changed. Patch exports and --apply use it.
//
// TARGET is refused, before anything is written, when it is a symbolic link (a dangling one
// too): replacing the link would cut it, and replacing the file behind it would write where the
// path does not say, so a link planted in a shared folder could lead the run over any file the
// user may write. Also refused: anything but a regular file, a file with other hard links (they
// would keep the old bytes), a set-user-ID or set-group-ID file (new content never inherits
// what the old was granted), one the user could not write (Windows: read-only). File
// capabilities (security.capability) are never carried to the new content.
#pragma once

#include <cstdint>
#include <string>

#include "platform/new_file.h"
#include "platform/trouble.h"

namespace tandrel {

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

class FileReplacement {
  public:
    explicit FileReplacement(const ReplacementSeam* seam = nullptr) : seam_(seam), new_(seam) {}
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Checks TARGET against the rules above and opens it for reading. mustExist false: no file
    // of that name is fine (a report written for the first time), and the new file then gets
    // the mode a new file has.
    bool OpenTarget(const std::string& target, bool mustExist, Trouble& trouble);
    bool TargetExists() const { return target_ != NewFile::kNoHandle; }
    // TARGET, open for reading (a descriptor, or a Win32 HANDLE shared for reading only).
    intptr_t TargetHandle() const { return target_; }
    const FileIdentity& Identity() const { return identity_; }

    bool Create(Trouble& trouble);
    NewFile& File() { return new_; }
    // Gives the new file TARGET's metadata, flushes it, checks that TARGET's name still leads to
    // the file opened, unchanged (or, when there was none, to nothing), and renames.
    bool Commit(Trouble& trouble);

  private:
    bool KeepMetadata(Trouble& trouble);
    bool Replace(Trouble& trouble);

    const ReplacementSeam* seam_;
    std::string targetPath_;
    intptr_t target_ = NewFile::kNoHandle;
    FileIdentity identity_;
    NewFile new_;
};

}  // namespace tandrel
