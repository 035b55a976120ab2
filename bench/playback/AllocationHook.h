// Counts every heap allocation of the process while a window is open, per thread, and keeps the
// call stack of each one; malloc and its family are interposed by this executable.
#pragma once

#include <cstdint>
#include <cstdio>

#include <pthread.h>

namespace allochook {

// Primes the unwinder, whose first use allocates, before any window opens; the calling thread is
// reported as the host thread.
void Prepare();
void OpenWindow();
void CloseWindow();

// Allocations counted in the last window, and those whose stack did not fit the sample store.
uint64_t Total();
uint64_t Unsampled();

// Prints the allocating threads and call paths of the last window, as counts per second.
// serviceThread names the thread that ran the host callbacks. Returns the allocations that neither
// FFmpeg nor SDL asked for.
uint64_t Report(FILE *out, double seconds, pthread_t serviceThread);

}  // namespace allochook
