// Windows fault guards: the process-wide pieces behind PlatformRunGuarded.
#pragma once

// Removes the vectored exception handler and frees the guards' thread slot; the loader glue calls it
// at process detach, once nothing of the library runs any more.
void PlatformReleaseFaultGuards();
