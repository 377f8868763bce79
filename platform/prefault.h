// Asking the system for the memory of a large buffer at once. Where every first touch of a page
// traps to the system (a virtual machine can make each such trap costly), filling a fresh buffer
// of tens of MiB one page fault at a time costs more than the work done with it.
#pragma once

#include <cstddef>

namespace tandrel {

// Backs the whole pages of [data, data + size) with memory now, in one request, so that the
// first writes to them do not fault one by one. Changes no byte; where the system offers no such
// request, or refuses it, nothing happens and the pages fault in as they are touched.
void Prefault(void* data, size_t size);

}  // namespace tandrel
