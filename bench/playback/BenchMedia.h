// What the playback benchmarks share: their media, made once with the ffmpeg program, and waits.
#pragma once

#include <atomic>
#include <string>

// 44.1 kHz stereo, pink noise on one channel and a tone on the other, as "wav" (16-bit PCM, no LIST
// chunk) or "wma"; the path, or empty when ffmpeg failed.
std::string Medium(int seconds, const char *extension);
std::u16string Utf16(const std::string &text);
// False when the counter has not reached the target within the time.
bool WaitFor(const std::atomic<int> &counter, int target, double seconds);
