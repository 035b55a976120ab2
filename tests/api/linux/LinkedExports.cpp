#include "HostHarness.h"

const BrivaneExports &Brivane() {
    static const BrivaneExports exports = {
#define BRIVANE_EXPORT_LINKED(name) &::name,
        BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_LINKED)
#undef BRIVANE_EXPORT_LINKED
    };
    return exports;
}

bool RunningUnderWine() { return false; }
