#include "FakeInstances.h"

#include <new>

FakeCounters g_fakes;

namespace {
std::atomic<FakePlayer *> g_lastPlayer{nullptr};
std::atomic<FakeRecorder *> g_lastRecorder{nullptr};

IPlayerCommands *NewFakePlayer() {
    ++g_fakes.playersMade;
    // A factory that runs out of memory returns null, as the library's does.
    FakePlayer *player;
    try {
        player = new FakePlayer;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    g_lastPlayer = player;
    return player;
}

ICaptureCommands *NewFakeRecorder() {
    ++g_fakes.recordersMade;
    FakeRecorder *recorder = new (std::nothrow) FakeRecorder;
    if (!recorder) return nullptr;
    g_lastRecorder = recorder;
    return recorder;
}
}  // namespace

InstanceFactory FakeFactory() { return InstanceFactory{&NewFakePlayer, &NewFakeRecorder}; }
FakePlayer *LastPlayer() { return g_lastPlayer; }
FakeRecorder *LastRecorder() { return g_lastRecorder; }
