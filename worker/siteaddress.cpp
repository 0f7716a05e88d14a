#include "worker/catchthread.h"

// Alone in its file, so that a test program can define the address itself and this object is
// then never linked.
const char* const kSiteBaseAddress = COLVANE_SITE_BASE_ADDRESS;
