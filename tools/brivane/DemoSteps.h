// The demo's steps: each does one thing through the public API and reports how it went.
#pragma once

#include <cstdint>
#include <string>

#include "brivane.h"

struct StepResult {
    bool ok = false;
    std::string detail;  // one line for the summary table
};

// Where the demo keeps its files, the bundled speech profile and the generated signal.
struct DemoFiles {
    std::string directory;
    std::string wav;
    std::string wma;
    std::string recording;
    std::basic_string<BRIVANE_WCHAR> profile;  // the bundled speech profile's XML text
};

// Makes a scratch directory and names the files in it; false when no directory can be made.
bool PrepareDemoFiles(DemoFiles *files);
// Deletes the files and the scratch directory.
void RemoveDemoFiles(const DemoFiles &files);
// A 3-second speech-like signal (16 kHz mono 16-bit): voiced syllables on a gliding pitch.
StepResult WriteSpeechLikeWave(const std::string &path, uint32_t *durationMs);
// Plays a file at the given speed, showing its events live; fails without an end event.
StepResult PlayWithEvents(const std::string &path, int32_t speed, uint32_t expectedMs);
// Records from the default input for the given time while encoding with the profile.
StepResult RecordWhileEncoding(const DemoFiles &files, uint32_t milliseconds);

std::basic_string<BRIVANE_WCHAR> Wide(const std::string &text);
