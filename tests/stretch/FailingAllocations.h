// Fails the Nth heap allocation made by the stretch engine, the FIFOs, the chunker and the adaptor
// from now on: this executable links them with their malloc and nothrow new wrapped.
#pragma once

namespace failalloc {
// Arms the hook: the nth allocation from now (1 = the next one) returns null; 0 disarms.
void FailNth(int nth);
// Whether the armed allocation has been refused.
bool Fired();
}  // namespace failalloc
