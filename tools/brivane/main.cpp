// brivane: a command-line host built on the public API only.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CliFailure.h"
#include "Commands.h"

namespace {
std::vector<CliCommand> &Registry() {
    static std::vector<CliCommand> commands;
    return commands;
}

void Usage() {
    std::vector<CliCommand> commands = CliCommands();
    std::sort(commands.begin(), commands.end(),
              [](const CliCommand &a, const CliCommand &b) { return a.order < b.order; });
    std::printf("usage: brivane <command> [arguments]     (brivane --help: exit codes and environment)\n");
    for (const CliCommand &command : commands) std::printf("  %-9s %s\n", command.name, command.usage);
}

void Help() {
    Usage();
    size_t count = 0;
    const CliExitCode *codes = CliExitCodes(&count);
    std::printf("\nexit codes:\n");
    for (size_t i = 0; i < count; ++i) std::printf("  %d  %s\n", codes[i].code, codes[i].meaning);
    std::printf(
        "\nenvironment:\n"
        "  BRIVANE_DEBUG=1    the library's diagnostic lines (and FFmpeg's and SDL's) on standard error\n"
        "  SDL_AUDIODRIVER    the audio system on Linux: pulseaudio, pipewire, alsa, dummy (silent), disk\n");
}
}  // namespace

CliCommandRegistration::CliCommandRegistration(const CliCommand &command) { Registry().push_back(command); }

const std::vector<CliCommand> &CliCommands() { return Registry(); }

int main(int argc, char **argv) {
    if (argc < 2) {
        Usage();
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
        Help();
        return kExitOk;
    }
    for (const CliCommand &command : CliCommands())
        if (std::strcmp(command.name, argv[1]) == 0) return command.run(argc - 2, argv + 2);
    std::fprintf(stderr, "brivane: unknown command %s (brivane --help lists them)\n", argv[1]);
    return kExitUsage;
}
