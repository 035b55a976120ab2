// brivane: a command-line host built on the public API only.
#include <algorithm>
#include <cstdio>
#include <cstring>

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
    std::printf("usage: brivane <command> [arguments]\n");
    for (const CliCommand &command : commands) std::printf("  %-9s %s\n", command.name, command.usage);
}
}  // namespace

CliCommandRegistration::CliCommandRegistration(const CliCommand &command) { Registry().push_back(command); }

const std::vector<CliCommand> &CliCommands() { return Registry(); }

int main(int argc, char **argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    for (const CliCommand &command : CliCommands())
        if (std::strcmp(command.name, argv[1]) == 0) return command.run(argc - 2, argv + 2);
    Usage();
    return 2;
}
