// brivane duration: a media file's length as GetWmaFileDuration reports it.
#include <cstdio>

#include "CliFailure.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

int RunDuration(int argc, char **argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: brivane duration FILE\n");
        return kExitUsage;
    }
    const uint32_t ms = GetWmaFileDuration(WidePath(argv[0]).c_str());
    // The library answers 0 for a file it cannot open as well as for an empty one.
    if (!ms) return FailInput("duration", argv[0], "not a medium the reader opens, or its duration is unknown");
    std::printf("%u ms (%u:%02u:%02u.%03u)\n", unsigned(ms), unsigned(ms / 3600000), unsigned(ms / 60000 % 60),
                unsigned(ms / 1000 % 60), unsigned(ms % 1000));
    return 0;
}

const CliCommandRegistration kDuration({"duration",
                                        "FILE\n            print a media file's length in ms and as h:mm:ss.mmm",
                                        &RunDuration, 11});
}  // namespace
