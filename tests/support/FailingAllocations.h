// Fails the Nth allocation: malloc, calloc, new wrapped in our objects; realloc, posix_memalign (media libs) anywhere.
#pragma once

namespace failalloc {
// The nth allocation from now fails (1 = next, 0 disarms): a throwing new throws std::bad_alloc, the rest return null.
void FailNth(int nth);
// Whether the armed allocation has been refused.
bool Fired();

// Fails allocation 1, 2, ... until a run needs none, then once unhooked: runs refused, or -1 if a clean run fell short.
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
