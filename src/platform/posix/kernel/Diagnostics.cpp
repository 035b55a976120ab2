#include "Diagnostics.h"

#include <cstdlib>
#include <cstring>

namespace posix {

bool DiagnosticsWanted() {
    const char *value = std::getenv("BRIVANE_DEBUG");
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace posix
