// Linked into the suites that check the library's diagnostic lines, which it prints only when asked.
#include <cstdlib>

namespace {
const int kDiagnosticsOn = setenv("BRIVANE_DEBUG", "1", 1);
}  // namespace
