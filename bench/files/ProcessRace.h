// Our CLI against the ffmpeg program doing the same work, as whole processes: each round runs both,
// alternating which goes first, and keeps the wall time and the processes' own CPU time (user and
// system), which other load on the machine does not change.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

// name: the counter prefix for our side ("convert", "pcm"); seconds: the medium's length.
void RaceAgainstFfmpeg(benchmark::State &state, const std::string &ours, const std::string &ffmpeg, const char *name,
                       int seconds);
