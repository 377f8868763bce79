// What a comparison of two folders hands on besides the pairs of files it compares (those go to
// a RecordSink as one comparison each): the entries that are no pair, and the totals at the end.
#pragma once

#include <cstdint>

#include "platform/folder_walk.h"
#include "platform/trouble.h"

namespace tandrel {

// The counts a run of many pairs ends with.
struct TreeTotals {
    uint64_t pairs = 0;  // pairs of regular files, those that could not be compared included
    uint64_t identical = 0;
    uint64_t different = 0;
    uint64_t onlyFirst = 0;
    uint64_t onlySecond = 0;
    uint64_t mismatches = 0;
    uint64_t links = 0;  // pairs of links
    uint64_t linksDiffering = 0;
    uint64_t errors = 0;
    uint64_t runs = 0;  // added up over the pairs' summaries
    uint64_t bytes = 0;
    bool complete = true;  // every entry was looked at (no stop)
};

class TreeSink {
  public:
    virtual ~TreeSink() = default;
    // Each returns false when the output can take no more (a failed write): the walk then ends.
    // An entry on one side only; a folder is named once, not file by file.
    virtual bool Only(int side, const char* folder, const char* name, EntryKind kind) = 0;
    // The same name, of different kinds on the two sides.
    virtual bool Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                          EntryKind second) = 0;
    // A symbolic link on both sides, with the texts they hold.
    virtual bool Link(const char* firstPath, const char* secondPath, const char* firstTarget,
                      const char* secondTarget) = 0;
    // An entry that could not be compared (never opened when it is no regular file or folder).
    virtual bool Error(const char* path, const char* reason) = 0;
    virtual bool Total(const TreeTotals& totals) = 0;
    // False, with the reason, once the output has failed to take what was written.
    virtual bool Writable(Trouble& trouble) const = 0;
};

}  // namespace tandrel
