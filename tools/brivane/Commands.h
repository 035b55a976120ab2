// The CLI's commands: each command file registers itself with a static CliCommandRegistration.
#pragma once

#include <vector>

struct CliCommand {
    const char *name;
    const char *usage;                  // argument synopsis and one line of description, shown by `brivane` alone
    int (*run)(int argc, char **argv);  // argv holds the command's own arguments; returns the exit code
    int order;                          // position in the usage text
};

class CliCommandRegistration {
public:
    explicit CliCommandRegistration(const CliCommand &command);
};

const std::vector<CliCommand> &CliCommands();
