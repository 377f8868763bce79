// The aligned comparison (--align): bytes inserted into or deleted from the second file are
// found, so that what follows lines up again.
//
// Both files are compared in lockstep while they agree, many bytes at a time. At a differing
// byte the search (engine/anchor_search.h) looks up to kAlignWindow bytes ahead in both for where
// they agree again; the bytes passed over become a change of as many bytes on both sides, and an
// insertion or a deletion of the rest. With no match in the window, the window is a change and
// the lockstep goes on after it. Replaying the records on the first file gives the second.
#pragma once

#include "engine/comparison.h"

namespace tandrel {

// CompareFiles with options.align. The first file's range is the one options.range gives; the
// second file is read as far as the alignment takes it: a limit ends the comparison at the end
// of the first file's range, and the second's bytes after the point aligned with it are not
// compared.
ComparisonOutcome CompareAligned(const char* firstPath, const char* secondPath,
                                 const ComparisonOptions& options, RecordSink& sink);

}  // namespace tandrel
