// brivane: a command-line host built on the public API only.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"

namespace {
void Usage() {
    std::printf(
        "usage: brivane <command>\n"
        "  version   print the library version\n"
        "  demo      start the library and show the service thread delivering events\n"
        "  stretch --speed P --rate R --channels C < in.s16le > out.s16le\n"
        "            change the speed of raw 16-bit PCM to P percent without changing its pitch\n");
}
}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    std::string command = argv[1];
    if (command == "version") return RunVersion();
    if (command == "demo") return RunDemo();
    if (command == "stretch") return RunStretch(argc - 2, argv + 2);
    Usage();
    return 2;
}
