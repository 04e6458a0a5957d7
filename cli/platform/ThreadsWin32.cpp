// Thread stacks on Windows: a thread's stack is reserved at 1 MiB and committed as it grows, so the
// default is already small.
#include "cli/platform/Platform.h"

void UseSmallThreadStacks() {}
