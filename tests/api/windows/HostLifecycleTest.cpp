// The exports as the Windows loader finds them: by name and by ordinal.
#include <gtest/gtest.h>

#include "HostLibrary.h"

namespace {

TEST(HostLifecycle, ExportsResolveByNameAndByOrdinal) {
    const char *names[] = {
#define BRIVANE_EXPORT_NAME(name) #name,
        BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_NAME)
#undef BRIVANE_EXPORT_NAME
    };
    for (WORD ordinal = 1; ordinal <= 22; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        FARPROC byName = GetProcAddress(BrivaneModule(), names[ordinal - 1]);
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(byName, GetProcAddress(BrivaneModule(), MAKEINTRESOURCEA(ordinal)));
    }
}

}  // namespace
