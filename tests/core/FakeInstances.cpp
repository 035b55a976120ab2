#include "FakeInstances.h"

FakeCounters g_fakes;

namespace {
std::atomic<FakePlayer *> g_lastPlayer{nullptr};
std::atomic<FakeRecorder *> g_lastRecorder{nullptr};

IPlayerCommands *NewFakePlayer() {
    ++g_fakes.playersMade;
    FakePlayer *player = new FakePlayer;
    g_lastPlayer = player;
    return player;
}

ICaptureCommands *NewFakeRecorder() {
    ++g_fakes.recordersMade;
    FakeRecorder *recorder = new FakeRecorder;
    g_lastRecorder = recorder;
    return recorder;
}
}  // namespace

InstanceFactory FakeFactory() { return InstanceFactory{&NewFakePlayer, &NewFakeRecorder}; }
FakePlayer *LastPlayer() { return g_lastPlayer; }
FakeRecorder *LastRecorder() { return g_lastRecorder; }
