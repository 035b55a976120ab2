#include "PlaybackHost.h"

#include <algorithm>

void BRIVANE_CALL PlaybackHost::OnEvent(uint32_t handle, BRIVANE_USER user, uint32_t code, const void *payload,
                                        uint32_t size) {
    OnCapture(handle, user, code, 0, 0, payload, size);
}

void BRIVANE_CALL PlaybackHost::OnCapture(uint32_t handle, BRIVANE_USER user, uint32_t code, uint32_t arg1,
                                          uint32_t arg2, const void *payload, uint32_t size) {
    PlaybackHost *host = reinterpret_cast<PlaybackHost *>(user ^ kWide);
    const char *bytes = static_cast<const char *>(payload);
    Delivery delivery{code,         bytes ? std::vector<char>(bytes, bytes + size) : std::vector<char>(),
                      Clock::now(), CurrentHostThread(),
                      arg1,         arg2};
    std::lock_guard<HostMutex> guard(host->m_lock);
    host->m_events[handle].push_back(std::move(delivery));
}

uint32_t PlaybackHost::Open(const Medium &medium, Source source, uint32_t mode) {
    if (source == Source::File) return Brivane().AudioOutFileOpen(mode, medium.widePath.c_str(), &OnEvent, User());
    return Brivane().AudioOutOpen(mode, medium.image.data(), static_cast<int32_t>(medium.image.size()), &OnEvent,
                                  User());
}

uint32_t PlaybackHost::Start(const Medium &medium, Source source, uint32_t mode,
                             const std::function<void(uint32_t)> &prepare) {
    const uint32_t handle = Open(medium, source, mode);
    EXPECT_NE(0u, handle) << medium.name << " mode " << mode;
    if (prepare) prepare(handle);
    Brivane().AudioOutPlay(handle, 0);
    return handle;
}

bool PlaybackHost::WaitUntil(uint32_t handle, milliseconds timeout,
                             const std::function<bool(const std::vector<Delivery> &)> &done) {
    return ::WaitUntil(
        [&] {
            std::lock_guard<HostMutex> guard(m_lock);
            return done(m_events[handle]);
        },
        int(timeout.count()));
}

bool PlaybackHost::WaitForCode(uint32_t handle, uint32_t code, milliseconds timeout, size_t count) {
    return WaitUntil(handle, timeout, [&](const std::vector<Delivery> &events) {
        return IndexOf(events, code, count - 1) < events.size();
    });
}

bool PlaybackHost::WaitForFinish(uint32_t handle, milliseconds timeout) {
    return WaitUntil(handle, timeout, [](const std::vector<Delivery> &events) {
        return IndexOf(events, BRIVANE_EVENT_END) < events.size() ||
               IndexOf(events, BRIVANE_EVENT_COMMAND_FAILED) < events.size();
    });
}

std::vector<Delivery> PlaybackHost::Of(uint32_t handle) {
    std::lock_guard<HostMutex> guard(m_lock);
    return m_events[handle];
}

uint32_t PlaybackHost::OpenMissing() {
    return Brivane().AudioOutFileOpen(1, Path("missing.wma").c_str(), &OnEvent, User());
}

void PlaybackHost::Fence() {
    const uint32_t fence = OpenMissing();
    ASSERT_NE(0u, fence);
    ASSERT_TRUE(WaitForCode(fence, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(20000))) << "the fence's open failure";
    Brivane().AudioOutClose(fence);
}

std::string Sequence(const std::vector<Delivery> &events, bool counted) {
    static const char *const kNames[] = {"?", "FORMAT", "PAUSED", "PLAYING", "DATA", "END", "FAILED"};
    std::string text;
    for (size_t i = 0; i < events.size();) {
        size_t run = i;
        while (run < events.size() && events[run].code == events[i].code) ++run;
        if (!text.empty()) text += ' ';
        text += events[i].code < 7 ? kNames[events[i].code] : std::to_string(events[i].code);
        if (run - i > 1) text += '*' + (counted ? std::to_string(run - i) : "");
        i = run;
    }
    return text;
}

std::vector<char> Data(const std::vector<Delivery> &events, size_t from) {
    std::vector<char> bytes;
    for (size_t i = from; i < events.size(); ++i)
        if (events[i].code == BRIVANE_EVENT_DATA)
            bytes.insert(bytes.end(), events[i].payload.begin(), events[i].payload.end());
    return bytes;
}

size_t IndexOf(const std::vector<Delivery> &events, uint32_t code, size_t nth) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].code == code && nth-- == 0) return i;
    return events.size();
}

size_t Count(const std::vector<Delivery> &events, uint32_t code) {
    return size_t(
        std::count_if(events.begin(), events.end(), [&](const Delivery &event) { return event.code == code; }));
}

bool IsPrefix(const std::vector<char> &bytes, const std::vector<char> &of) {
    return bytes.size() <= of.size() && std::equal(bytes.begin(), bytes.end(), of.begin());
}

std::vector<char> Slice(const std::vector<char> &bytes, size_t from, size_t length) {
    const size_t have = from < bytes.size() ? bytes.size() - from : 0;
    std::vector<char> slice(length == SIZE_MAX ? have : length, 0);
    std::copy_n(bytes.end() - long(have), std::min(have, slice.size()), slice.begin());
    return slice;
}

Sound Listen(const std::vector<char> &output) {
    Sound sound;
    const size_t frames = output.size() / 4;
    auto silent = [&](size_t frame) { return reinterpret_cast<const uint32_t *>(output.data())[frame] == 0; };
    while (sound.first < frames && silent(sound.first)) ++sound.first;
    sound.last = frames;
    while (sound.last > sound.first && silent(sound.last - 1)) --sound.last;
    size_t run = 0;
    for (size_t frame = sound.first; frame < sound.last; ++frame) {
        run = silent(frame) ? run + 1 : 0;
        sound.longestGap = std::max(sound.longestGap, run);
    }
    return sound;
}

milliseconds Patience(const Medium &medium) { return milliseconds(4 * medium.durationMs + 10000); }
