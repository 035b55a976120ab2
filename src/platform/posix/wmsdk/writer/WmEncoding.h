// What the writer encodes a profile stream to, and what PCM its inputs take: the codec FFmpeg
// carries for the stream's format tag, with the profile's values moved to the nearest ones that
// codec can take.
#pragma once

#include <string>

#include "MediaType.h"

namespace posix {

enum class StreamCodec { Wmav1, Wmav2, Pcm };

struct EncoderSettings {
    StreamCodec codec = StreamCodec::Wmav2;
    DWORD rate = 0;
    WORD channels = 0;
    WORD bits = 16;        // PCM streams only
    LONGLONG bitrate = 0;  // bits per second
    std::string moved;     // what was moved, for the writer's one debug line; empty when nothing was
};

// NS_E_AUDIO_CODEC_NOT_INSTALLED for a format tag no encoder here takes.
HRESULT ChooseEncoderSettings(const WAVEFORMATEX &format, DWORD streamBitrate, EncoderSettings &settings);
// Records one moved value in settings.moved.
void NoteMove(EncoderSettings &settings, const char *what, LONGLONG from, LONGLONG to);

// The format record of a profile's audio stream; NS_E_INVALID_STREAM for any other stream or for
// channels and rates no stream has.
HRESULT ReadStreamFormat(const CMediaType &type, WAVEFORMATEX &format);

// The interleaved PCM a writer input takes (8, 16 or 32 bits, up to 8 channels); anything else is
// NS_E_INVALID_INPUT_FORMAT.
HRESULT ReadPcmInput(const CMediaType &type, WAVEFORMATEX &format);

}  // namespace posix
