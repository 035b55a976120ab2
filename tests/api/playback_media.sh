#!/bin/sh
# Makes the compressed media and raw PCM the end-to-end suite plays, and what the ffmpeg program
# decodes from each, into DIR; the suite builds its WAV and damaged media from these itself. The
# Linux suite runs it on first use; the Windows host gets the directory made beforehand, as Wine
# cannot run ffmpeg. Suites running side by side make one directory once: the others wait for it.
set -eu
dir=$1
. "$(dirname "$0")/../support/media_once.sh"
# A 44.1 kHz stereo chirp: no stretch of it repeats, so a misplaced sample shows.
chirp="aevalsrc=0.5*sin(2*PI*(200+300*t)*t)|0.5*sin(2*PI*(900-200*t)*t):s=44100"
ff -f lavfi -i "$chirp:d=1.73" -f s16le -c:a pcm_s16le tone.s16
ff -f lavfi -i "$chirp:d=3" -f s16le -c:a pcm_s16le long.s16
ff -f lavfi -i "sine=f=300:r=11025:d=1.2" -f u8 -c:a pcm_u8 byte.u8
ff -f s16le -ar 44100 -ac 2 -i tone.s16 -c:a wmav2 -b:a 128k tone.wma
ff -f s16le -ar 44100 -ac 2 -i tone.s16 -c:a libmp3lame -b:a 128k tone.mp3
ff -f s16le -ar 44100 -ac 2 -i tone.s16 -ac 1 -ar 22050 -c:a wmav2 -b:a 32k speech.wma
ff -f lavfi -i "sine=f=440:r=22050:d=205.5" -c:a wmav2 -b:a 32k minutes.wma
for medium in tone.wma tone.mp3 speech.wma; do
  ff -i "$medium" -f s16le -c:a pcm_s16le "$medium.s16"
done
media_done
