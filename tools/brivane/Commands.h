// The CLI's commands; each returns the process exit code.
#pragma once

int RunVersion();
int RunDemo();
