// The CLI's commands; each returns the process exit code.
#pragma once

int RunVersion();
int RunDemo();
// argv holds the command's own arguments.
int RunStretch(int argc, char **argv);
