// Qt here is not built with ThreadSanitizer, so its own locks and the memory
// it allocates and frees inside them are invisible to it. Ignore what Qt's
// core library does internally; our own code stays checked.
#include "device/ThreadHandoff.h"

#ifdef VELORAN_TSAN
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n";
}
#endif
