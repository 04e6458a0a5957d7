// Thread stacks on Linux: the default attributes of every thread created after this call.
#include <pthread.h>

#include "cli/platform/Platform.h"

void UseSmallThreadStacks() {
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return;
    // A failure leaves the system's default, which works, only dearer.
    if (::pthread_attr_setstacksize(&attributes, kThreadStackBytes) == 0)
        ::pthread_setattr_default_np(&attributes);
    ::pthread_attr_destroy(&attributes);
}
