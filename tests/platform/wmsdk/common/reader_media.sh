#!/bin/sh
# Makes the media reader tests play, and what the ffmpeg program decodes from each, into DIR.
# Runs once per directory; a finished directory is left alone.
set -eu
root=$(cd "$(dirname "$0")/../../../.." && pwd)
dir=$1
. "$root/tests/support/media_once.sh"
# A two-second stereo chirp: no stretch of it repeats, so a misplaced sample shows.
ff -f lavfi -i "aevalsrc=0.5*sin(2*PI*(200+300*t)*t)|0.5*sin(2*PI*(900-200*t)*t):s=44100:d=2" -c:a pcm_s16le chirp.wav
ff -i chirp.wav -c:a wmav2 -b:a 128k chirp.wma
ff -i chirp.wav -c:a libmp3lame -b:a 128k chirp.mp3
ff -i chirp.wav -ac 1 -ar 22050 -c:a wmav2 -b:a 32k speech.wma
for medium in chirp.wav chirp.wma chirp.mp3 speech.wma; do
  ff -i "$medium" -f s16le -acodec pcm_s16le "$medium.s16"
done
# Damaged media: no medium at all, a header cut short, a medium cut in half.
i=0; while [ $i -lt 300 ]; do echo "not a medium"; i=$((i + 1)); done > garbage.bin
head -c 300 chirp.wma > header-cut.wma
head -c $(( $(wc -c < chirp.wma) / 2 )) chirp.wma > half.wma
# A 3 s 1 kHz tone converted to WMA by the Linux CLI, for the Windows Media reader to open.
cli=$root/build/tools/brivane/brivane
if [ -x "$cli" ]; then
  ff -f lavfi -i "sine=frequency=1000:sample_rate=16000:duration=3" -c:a pcm_s16le converted-source.wav
  SDL_AUDIODRIVER=dummy "$cli" convert converted-source.wav converted.wma 2>/dev/null ||
    echo "note: brivane convert failed: no converted.wma for the Wine tests" >&2
else
  echo "note: $cli is not built: no converted.wma for the Wine tests" >&2
fi
# The playback tests: the chirp with a bare 44-byte header for direct WAV mode, and a medium of
# 3 min 25.5 s for the duration query.
ff -i chirp.wav -map_metadata -1 -fflags +bitexact -flags:a +bitexact -c:a pcm_s16le plain.wav
ff -f lavfi -i "sine=f=440:r=22050:d=205.5" -c:a wmav2 -b:a 32k minutes.wma
media_done
