#include "core/HeldResources.h"

namespace {

struct HeldRecord {
    CHeldResources::Release release;
    void *what;
};

// Far more than the deepest nesting of library locks and image reads on one thread.
const int kMaxHeld = 32;
thread_local HeldRecord t_held[kMaxHeld];
thread_local int t_count = 0;

}  // namespace

void CHeldResources::Hold(Release release, void *what) {
    // A hold beyond the table goes unrecorded; records of one hold are alike, so any of them may be dropped.
    if (t_count == kMaxHeld) return;
    t_held[t_count++] = HeldRecord{release, what};
}

void CHeldResources::Drop(Release release, void *what) {
    for (int i = t_count - 1; i >= 0; --i) {
        if (t_held[i].release != release || t_held[i].what != what) continue;
        for (int j = i; j + 1 < t_count; ++j) t_held[j] = t_held[j + 1];
        --t_count;
        return;
    }
}

int CHeldResources::Depth() { return t_count; }

void CHeldResources::ReleaseTo(int depth) {
    while (t_count > depth) {
        const HeldRecord record = t_held[--t_count];
        record.release(record.what);
    }
}
