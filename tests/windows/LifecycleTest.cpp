// The exports as the Windows loader and a host meet them: names and ordinals, reference-counted
// initialisation, and the failure values of the file exports.
#include <gtest/gtest.h>

#include <functional>

#include "HostRecorder.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

TEST(HostLifecycle, ExportsResolveByNameAndByOrdinal) {
    const char *names[] = {
#define BRIVANE_EXPORT_NAME(name) #name,
        BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_NAME)
#undef BRIVANE_EXPORT_NAME
    };
    for (WORD ordinal = 1; ordinal <= 22; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        FARPROC byName = GetProcAddress(BrivaneModule(), names[ordinal - 1]);
        EXPECT_NE(byName, nullptr);
        EXPECT_EQ(byName, GetProcAddress(BrivaneModule(), MAKEINTRESOURCEA(ordinal)));
    }
}

TEST(HostLifecycle, CommandExportsAnswerOnlyWhileInitialised) {
    struct Command {
        const char *name;
        std::function<uint32_t(uint32_t)> call;
    };
    const Command commands[] = {
        {"AudioOutPlay", [](uint32_t h) { return B().AudioOutPlay(h, 0); }},
        {"AudioOutPlay pause", [](uint32_t h) { return B().AudioOutPlay(h, 1); }},
        {"AudioOutSeek", [](uint32_t h) { return B().AudioOutSeek(h, 1000); }},
        {"AudioOutSetVolume", [](uint32_t h) { return B().AudioOutSetVolume(h, 50); }},
        {"AudioOutSetDuration", [](uint32_t h) { return B().AudioOutSetDuration(h, 0, BRIVANE_TO_END); }},
        {"AudioOutSetSpeed", [](uint32_t h) { return B().AudioOutSetSpeed(h, 150); }},
        {"AudioOutSetEventMask", [](uint32_t h) { return B().AudioOutSetEventMask(h, 0xFFFF); }},
        {"AudioInStart", [](uint32_t h) { return B().AudioInStart(h, 0); }},
        {"AudioInStart stop", [](uint32_t h) { return B().AudioInStart(h, 1); }},
        {"AudioInStop", [](uint32_t h) { return B().AudioInStop(h); }},
    };
    // Each step changes the init count, then every command answers for handles never issued.
    struct Step {
        const char *what;
        std::function<void()> run;
        uint32_t expected;
    };
    const Step steps[] = {
        {"before InitBrivane", [] {}, 0},
        {"first InitBrivane", [] { EXPECT_EQ(B().InitBrivane(), 1u); }, 1},
        {"second InitBrivane", [] { EXPECT_EQ(B().InitBrivane(), 1u); }, 1},
        {"one UnInitBrivane of two", [] { B().UnInitBrivane(); }, 1},
        {"last UnInitBrivane", [] { B().UnInitBrivane(); }, 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.run();
        for (const Command &command : commands)
            for (uint32_t handle : {0u, 0xBEEFu, 0x1BEEFu}) EXPECT_EQ(command.call(handle), step.expected) << command.name;
    }
}

TEST(HostLifecycle, HandlesContinueTheirNumberingAcrossReinitialisation) {
    HostRecorder recorder;
    const wchar_t path[] = L"C:\\brivane-missing\\first.wma";
    uint32_t handles[3] = {};
    for (uint32_t &handle : handles) {
        ASSERT_EQ(B().InitBrivane(), 1u);
        handle = B().AudioOutFileOpen(1, path, HostRecorder::OnPlay, HostRecorder::kUser);
        EXPECT_TRUE(recorder.WaitFor(handle, BRIVANE_EVENT_COMMAND_FAILED));
        B().AudioOutClose(handle);
        B().UnInitBrivane();
    }
    EXPECT_NE(handles[0], 0u);
    EXPECT_EQ(handles[1], handles[0] + 1);
    EXPECT_EQ(handles[2], handles[1] + 1);
}

TEST(HostLifecycle, FileExportsGiveTheirFailureValuesWithOrWithoutInitialisation) {
    const wchar_t missing[] = L"C:\\brivane-missing\\none.wav";
    struct Check {
        const char *what;
        std::function<bool()> holds;
    };
    const Check checks[] = {
        {"AudioInSetVolume is 0", [] { return B().AudioInSetVolume(1, 50) == 0; }},
        {"Convert WMA to WMA is 0", [] { return B().Convert(1, "C:\\a.wma", 1, "C:\\b.wma", nullptr) == 0; }},
        {"Convert WAV to WAV is 0", [] { return B().Convert(2, "C:\\a.wav", 2, "C:\\b.wav", nullptr) == 0; }},
        {"GetAudioPCM without a decoder is 0",
         [] { return B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr) == 0; }},
        {"GetWmaFileDuration of a missing file is 0", [&] { return B().GetWmaFileDuration(missing) == 0; }},
        {"AudioWavGetData of a missing file is null",
         [&] {
             uint32_t samples = 0;
             BrivaneWaveFormat format{};
             return B().AudioWavGetData(missing, &samples, &format, 0) == nullptr;
         }},
        {"AudioWavFreeData of null is 1", [] { return B().AudioWavFreeData(nullptr) == 1; }},
    };
    for (bool initialised : {false, true}) {
        if (initialised) {
            ASSERT_EQ(B().InitBrivane(), 1u);
        }
        for (const Check &check : checks) EXPECT_TRUE(check.holds()) << check.what << (initialised ? ", initialised" : "");
    }
    B().UnInitBrivane();
}

}  // namespace
