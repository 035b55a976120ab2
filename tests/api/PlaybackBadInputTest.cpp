// What a careless or hostile host hands over: damaged media and paths that are no media. The answer
// is a failure event or an end after what the medium holds, never a crash or a hang.
#include <cstring>

#include "PlaybackHost.h"

namespace {

enum class Outcome { Fails, EndsOrFails };

TEST_F(PlaybackTest, DamagedMediaFailOrEndWithoutHarm) {
    struct Damaged {
        Play play;
        Outcome outcome;
    };
    std::vector<Damaged> cases = {
        {{"garbage.bin", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"garbage.bin", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"garbage.bin", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"empty.wav", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"empty.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"header-cut.wma", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"header-cut.wma", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"tone.wma", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"folder", Source::File, BRIVANE_MODE_DECODE}, Outcome::Fails},
        {{"folder", Source::File, BRIVANE_MODE_WAVE}, Outcome::Fails},
        {{"half.wma", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"half.wma", Source::File, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"lying-long.wav", Source::Memory, BRIVANE_MODE_WAVE}, Outcome::EndsOrFails},
        {{"lying-long.wav", Source::File, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
        {{"lying-short.wav", Source::File, BRIVANE_MODE_WAVE}, Outcome::EndsOrFails},
        {{"lying-short.wav", Source::Memory, BRIVANE_MODE_DECODE}, Outcome::EndsOrFails},
    };
    // Wine's reader can hang in its open on a header cut short, and with it the service thread.
    if (RunningUnderWine())
        EraseIf(cases, [](const Damaged &c) { return std::strcmp(c.play.medium, "header-cut.wma") == 0; });
    std::vector<uint32_t> handles;
    for (const auto &c : cases) handles.push_back(host.Start(c.play));
    const milliseconds patience(20000);
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_TRUE(host.WaitForFinish(handles[i], patience))
            << Describe(cases[i].play) << ": " << Sequence(host.Of(handles[i]));
        // A second try must not find a half-opened player in a state it cannot handle.
        if (cases[i].outcome == Outcome::Fails) Brivane().AudioOutPlay(handles[i], 0);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (cases[i].outcome == Outcome::Fails) {
            EXPECT_TRUE(host.WaitForCode(handles[i], BRIVANE_EVENT_COMMAND_FAILED, patience, 2))
                << Describe(cases[i].play);
        }
    }
    host.Fence();

    for (size_t i = 0; i < handles.size(); ++i) {
        const auto &c = cases[i];
        const std::vector<Delivery> events = host.Of(handles[i]);
        const std::string what = Describe(c.play) + ": " + Sequence(events);
        if (c.outcome == Outcome::Fails) {
            // One failure for each play, and one more when the open itself failed.
            EXPECT_GE(events.size(), 2u) << what;
            for (const Delivery &event : events) EXPECT_EQ(BRIVANE_EVENT_COMMAND_FAILED, event.code) << what;
        } else if (IndexOf(events, BRIVANE_EVENT_END) < events.size()) {
            const Medium &medium = MediumNamed(c.play.medium);
            const std::vector<char> data = Data(events);
            EXPECT_EQ(0u, data.size() % medium.format.nBlockAlign)
                << what << ": " << data.size() << " bytes end in part of a frame";
            if (medium.pcm.empty()) {
                EXPECT_LE(data.size(), MediumNamed("tone.wma").pcm.size()) << what;
            } else {
                EXPECT_TRUE(IsPrefix(data, MediumNamed("tone.wav").pcm))
                    << what << ": " << data.size() << " bytes not from the file";
            }
        }
        Brivane().AudioOutClose(handles[i]);
    }
}

}  // namespace
