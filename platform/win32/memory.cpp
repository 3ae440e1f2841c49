// Windows commits the pages of a large allocation lazily too, but faults them in cheaply
// enough that no hint is needed.
#include "platform/memory.h"

namespace platform {

void PrepareForFilling(const void*, size_t) {}

}  // namespace platform
