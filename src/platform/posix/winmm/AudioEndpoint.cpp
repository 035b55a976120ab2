// Endpoints live in a table keyed by direction and device, under the audio subsystem's lock, so
// a device is closed before anyone can try to open it again.
#include "AudioEndpoint.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "AudioSubsystem.h"

namespace posix {
namespace {

using CEndpointTable = std::map<std::pair<bool, int>, std::shared_ptr<CAudioEndpoint>>;

// Never destroyed: devices may still be open while the process exits.
CEndpointTable &Endpoints() {
    static CEndpointTable *table = new CEndpointTable;
    return *table;
}

// The smallest power of two covering 20 ms keeps buffer completions prompt.
Uint16 PeriodFrames(int rate) {
    Uint16 frames = 64;
    while (frames < rate / 50) frames = Uint16(frames * 2);
    return frames;
}

}  // namespace

std::shared_ptr<CAudioEndpoint> CAudioEndpoint::Acquire(bool capture, int index, const CWaveFormat &format) {
    std::lock_guard<std::mutex> hold(CAudioSubsystem::Lock());
    std::shared_ptr<CAudioEndpoint> &slot = Endpoints()[{capture, index}];
    // A lost device stays with the wave devices still on it; new ones get SDL's device afresh.
    if (slot && slot->Lost()) slot.reset();
    if (!slot) {
        if (!CAudioSubsystem::Started()) return nullptr;
        auto endpoint = std::make_shared<CAudioEndpoint>(capture, index, format);
        SDL_AudioSpec spec{};
        spec.freq = format.Rate();
        spec.format = format.SdlFormat();
        spec.channels = format.Channels();
        spec.samples = PeriodFrames(format.Rate());
        spec.callback = Callback;
        spec.userdata = endpoint.get();
        SDL_AudioSpec obtained;
        // No changes allowed: SDL converts to whatever the hardware takes.
        endpoint->m_device =
            SDL_OpenAudioDevice(CAudioSubsystem::OpenName(index, capture), capture ? 1 : 0, &spec, &obtained, 0);
        if (endpoint->m_device == 0) {
            Endpoints().erase({capture, index});
            return nullptr;
        }
        // Output plays, silence at first, from the start.
        if (!capture) SDL_PauseAudioDevice(endpoint->m_device, 0);
        slot = std::move(endpoint);
    }
    ++slot->m_users;
    return slot;
}

void CAudioEndpoint::Release() {
    std::lock_guard<std::mutex> hold(CAudioSubsystem::Lock());
    if (--m_users > 0) return;
    // Closing stops SDL's thread: its callback has returned for good.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    const auto slot = Endpoints().find({m_capture, m_index});
    if (slot != Endpoints().end() && slot->second.get() == this) Endpoints().erase(slot);
}

void CAudioEndpoint::Add(CEndpointClient *client) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_clients.push_back(client);
}

void CAudioEndpoint::Remove(CEndpointClient *client) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
}

void CAudioEndpoint::Record(bool start) {
    std::lock_guard<std::mutex> hold(CAudioSubsystem::Lock());
    m_recording += start ? 1 : -1;
    if (m_device != 0) SDL_PauseAudioDevice(m_device, m_recording > 0 ? 0 : 1);
}

// SDL reads the status from its device's atomics, without a lock.
bool CAudioEndpoint::Lost() const { return SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED; }

void SDLCALL CAudioEndpoint::Callback(void *endpoint, Uint8 *stream, int bytes) {
    static_cast<CAudioEndpoint *>(endpoint)->Run(stream, size_t(bytes));
}

void CAudioEndpoint::Run(Uint8 *stream, size_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_capture) {
        for (CEndpointClient *client : m_clients) client->Exchange(stream, bytes);
        return;
    }
    std::memset(stream, m_format.Silence(), bytes);
    m_block.resize(bytes);
    bool first = true;
    for (CEndpointClient *client : m_clients) {
        if (!client->Exchange(m_block.data(), bytes)) continue;
        // One client alone passes through bit for bit; more are summed with clipping.
        if (first)
            std::memcpy(stream, m_block.data(), bytes);
        else
            SDL_MixAudioFormat(stream, m_block.data(), m_format.SdlFormat(), Uint32(bytes), SDL_MIX_MAXVOLUME);
        first = false;
    }
}

}  // namespace posix
