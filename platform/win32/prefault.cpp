#include "platform/prefault.h"

namespace tandrel {

// Nothing to ask for here: the pages fault in as they are touched.
void Prefault(void*, size_t) {}

}  // namespace tandrel
