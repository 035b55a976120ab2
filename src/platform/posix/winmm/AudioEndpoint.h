// One SDL audio device shared by every wave device open on it: output is mixed from all of them,
// input is handed to all of them. It is opened with the format of the wave device that opens it
// first, so that one alone passes its samples through untouched; later ones convert (SDL cannot
// open the same device twice on every driver, and some drivers offer a single device).
#pragma once

#include <SDL.h>

#include <memory>
#include <mutex>
#include <vector>

#include "WaveFormat.h"

namespace posix {

// A wave device as an endpoint sees it.
class CEndpointClient {
public:
    virtual ~CEndpointClient() = default;
    // On SDL's thread, with a whole number of the endpoint's frames. Output: fills the block and
    // answers whether it holds anything to mix. Input: takes the block; the answer is unused.
    virtual bool Exchange(BYTE *block, size_t bytes) = 0;
};

class CAudioEndpoint {
public:
    // The endpoint of SDL device `index` (-1: the default) for one direction, opened with `format`
    // unless it is open already; null when SDL cannot open it. Each Acquire needs one Release.
    static std::shared_ptr<CAudioEndpoint> Acquire(bool capture, int index, const CWaveFormat &format);
    // The last release closes the SDL device.
    void Release();

    const CWaveFormat &Format() const { return m_format; }
    // After Remove returns, SDL's thread no longer calls the client.
    void Add(CEndpointClient *client);
    void Remove(CEndpointClient *client);
    // Input runs while at least one client records, so nothing is captured before the first start.
    void Record(bool start);
    // SDL gave the device up (unplugged, or its driver failed); for good. Takes no lock, so a wave
    // device may ask with its own lock held; only while it holds a reference.
    bool Lost() const;

    CAudioEndpoint(bool capture, int index, const CWaveFormat &format)
        : m_capture(capture), m_index(index), m_format(format) {}

private:
    static void SDLCALL Callback(void *endpoint, Uint8 *stream, int bytes);
    void Run(Uint8 *stream, size_t bytes);

    const bool m_capture;
    const int m_index;
    const CWaveFormat m_format;
    // The three below are guarded by the audio subsystem's lock.
    SDL_AudioDeviceID m_device = 0;
    int m_users = 0;
    int m_recording = 0;

    std::mutex m_lock;
    std::vector<CEndpointClient *> m_clients;
    std::vector<BYTE> m_block;
};

}  // namespace posix
