// The shared library is linked not to be unloaded (-z nodelete): there is nothing to hold.
#include "platform/platform.h"

BOOL PlatformHoldModule() { return TRUE; }

void PlatformReleaseModule() {}
