// Fails the Nth heap allocation from now on. The suites that link this hook build their library
// objects with malloc, calloc and every operator new wrapped, and the hook stands in for realloc
// and posix_memalign in the whole process, which is how the media libraries allocate.
#pragma once

namespace failalloc {
// Arms the hook: the nth allocation from now (1 = the next one) fails; 0 disarms. A failing
// throwing operator new throws std::bad_alloc; every other allocation returns null.
void FailNth(int nth);
// Whether the armed allocation has been refused.
bool Fired();
}  // namespace failalloc

namespace failalloc {
// Runs the scenario with allocation 1, 2, ... failing until a run needs no failure, then once more
// unhooked. The scenario returns whether it did all it set out to do, which a run without a failure
// must. Returns the number of runs that had an allocation refused, or -1 when a run without one fell short.
template <class Scenario>
int FailEachInTurn(Scenario &&scenario, int limit = 100000) {
    int refused = 0;
    for (int nth = 1; nth <= limit; ++nth) {
        FailNth(nth);
        const bool complete = scenario();
        const bool fired = Fired();
        FailNth(0);
        if (!fired) {
            if (!complete) return -1;
            break;
        }
        ++refused;
    }
    return scenario() ? refused : -1;
}
}  // namespace failalloc
