// How the CLI reports a failure: one line on standard error saying what failed and why, and an exit
// code of its own for each kind, listed by `brivane --help`.
#pragma once

#include <cstddef>

enum CliExit {
    kExitOk = 0,
    kExitFailed = 1,       // anything not listed below
    kExitUsage = 2,        // a wrong command line
    kExitNoFile = 3,       // an input file is missing or cannot be read
    kExitNotMedium = 4,    // not a medium (or WAV file, or profile) the library takes
    kExitNoDevice = 5,     // no audio device would open
    kExitBadFormat = 6,    // the audio's format does not suit the operation (speed change, capture)
    kExitCannotWrite = 7,  // an output file cannot be written
};

struct CliExitCode {
    int code;
    const char *meaning;
};

// Every exit code with its meaning, in order.
const CliExitCode *CliExitCodes(size_t *count);

// Prints "brivane COMMAND: TEXT" as one line on standard error and returns code.
int Fail(const char *command, int code, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Why path cannot be opened for reading (the system's text, "No such file or directory"), or null
// when it can.
const char *UnreadableReason(const char *path);

// Reports an input the library refused: kExitNoFile with the reason when it cannot be read, else
// kExitNotMedium with what.
int FailInput(const char *command, const char *path, const char *what);
