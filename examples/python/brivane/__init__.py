"""Brivane for Python: play, decode, convert and measure audio through the Brivane library.

    import brivane
    with brivane.Player("talk.wma", on_data=blocks.append) as player:
        player.speed = 150
        player.play()
        player.wait()
    for block in brivane.decode("talk.wma", start_ms=1000, end_ms=2000): ...
    brivane.convert("talk.wav", "talk.wma")
    brivane.duration("talk.wma")          # milliseconds
    samples, fmt = brivane.load_wav("talk.wav")

The library is BRIVANE_LIBRARY when set, else one next to this module, else libbrivane.so.0 (or
Brivane.dll) from the system's search path. Failures raise BrivaneError subclasses whose text is the
one the brivane command prints. The ctypes bindings of all 22 exports are `brivane.Brivane`.
"""

import array
import atexit
import ctypes
import os
import queue
import threading

from ._exports import *  # noqa: F401,F403 (the raw bindings are part of the package's interface)
from ._exports import Brivane, WaveFormat, KIND_AUDIO, KIND_WAV, KIND_WMA, MODE_DECODE, MODE_WAVE, TO_END
from ._exports import EVENT_FORMAT, EVENT_PLAYING, EVENT_DATA, EVENT_END, EVENT_COMMAND_FAILED
from ._exports import PCM_FORMAT, PCM_DATA
from .errors import BrivaneError, FileError, NotAMediumError, NoDeviceError, FormatError, input_error

__version__ = "0.1.0"
_PROFILES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "profiles")
_library = None
_library_lock = threading.Lock()


def library():
    """The loaded library, initialised once for the life of the process."""
    global _library
    with _library_lock:
        if _library is None:
            loaded = Brivane()
            if not loaded.InitBrivane():
                raise BrivaneError("the library did not start")
            _library = loaded
        return _library


def duration(path):
    """The length of a media file in milliseconds."""
    ms = library().GetWmaFileDuration(path)
    if not ms:
        raise input_error(path, "not a medium the reader opens, or its duration is unknown")
    return ms


def load_wav(path):
    """A WAV file as 16-bit mono samples (array('h')) and the file's own WaveFormat."""
    samples, format = library().load_wav(path)
    if samples is None:
        raise input_error(path, "not a WAV file the loader takes (PCM 8/16-bit, A-law, mu-law; mono or stereo; "
                                "8000-48000 Hz)")
    return array.array("h", samples), format


def _profile_text(profile):
    if profile is None:
        profile = os.path.join(_PROFILES, "speech.prx")
    if "<" in profile:
        return profile
    try:
        with open(profile, "rb") as file:
            data = file.read()
    except OSError as error:
        raise input_error(profile, error.strerror) from None
    return data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("utf-8-sig")


def convert(source, target, profile=None):
    """A mono speech WAV file to WMA (with `profile`, a .prx path or its XML text; the bundled speech
    profile when None), or, when `target` ends in .wav, any medium to a PCM WAV file."""
    to_wav = os.fsdecode(target).lower().endswith(".wav")
    text = None if to_wav else _profile_text(profile)
    if not os.access(source, os.R_OK):
        raise input_error(source, "")
    lib = library()
    if to_wav:
        ok = lib.Convert(KIND_WAV, target, KIND_WMA, source)
    else:
        ok = lib.Convert(KIND_WMA, target, KIND_WAV, source, text)
    if ok:
        return
    try:
        open(target, "ab").close()
    except OSError as error:
        raise BrivaneError("%s: %s" % (os.fsdecode(target), error.strerror), 7) from None
    if to_wav:
        raise NotAMediumError("%s: not a medium the reader opens, or it holds no audio" % os.fsdecode(source))
    raise NotAMediumError("%s: not a recording the encoder takes (mono PCM 8/16-bit, A-law or mu-law, 8000-48000 Hz, "
                          "in a format the output device accepts), or the profile does not suit it" % os.fsdecode(source))


class decode:
    """Iterates over the PCM of a media file (or of the window start_ms..end_ms) as bytes blocks, while
    the library decodes it on its own thread; `format` is the WaveFormat once the first block is out.
    Leaving the loop early cancels the decoding."""

    def __init__(self, path, start_ms=0, end_ms=0, queued=16):
        if not os.access(path, os.R_OK):
            raise input_error(path, "")
        self.path = path
        self.format = None
        self._window = (start_ms, end_ms)
        self._blocks = queue.Queue(maxsize=queued)

    def __iter__(self):
        cancel = ctypes.c_uint32(0)
        finished = threading.Event()
        result = []

        def on_pcm(code, user, data):
            if code == PCM_FORMAT:
                self.format = WaveFormat.from_buffer_copy(data)
            elif code == PCM_DATA:
                while not cancel.value:
                    try:
                        self._blocks.put(data, timeout=0.05)
                        return
                    except queue.Full:
                        pass

        def run():
            try:
                result.append(library().GetAudioPCM(KIND_AUDIO, self.path, self._window[0], self._window[1], on_pcm,
                                                    cancel=cancel))
            finally:
                finished.set()

        thread = threading.Thread(target=run, name="brivane-decode", daemon=True)
        thread.start()
        try:
            while True:
                try:
                    yield self._blocks.get(timeout=0.05)
                except queue.Empty:
                    if finished.is_set() and self._blocks.empty():
                        break
        finally:
            cancel.value = 1
            thread.join()
        if not result or not result[0]:
            raise input_error(self.path, "not a medium the reader opens, or it holds no audio")


# Every open replaces the library's playback callback for all instances, so one callback serves
# every Player and hands each event to the player of its handle.
_players = {}
_players_lock = threading.Lock()


def _dispatch(handle, user, event, payload):
    with _players_lock:
        player = _players.get(handle)
    if player is not None:
        player._event(event, payload)


class Player:
    """One playback instance of a file (a path) or a memory image (bytes). Callbacks are plain
    callables, run on the library's service thread: on_data(bytes) for each block of decoded PCM,
    on_event(code, payload) for every event, on_end() at the end. wait() raises a failure as the
    BrivaneError the brivane command would report."""

    def __init__(self, source, wav=False, on_data=None, on_event=None, on_end=None):
        self.source = source
        self.wav = wav
        self.format = None
        self.on_data, self.on_event, self.on_end = on_data, on_event, on_end
        self._speed = 100
        self._volume = None
        self._playing = False
        self._done = threading.Event()
        self._failed = False
        self._lib = library()
        is_path = not isinstance(source, (bytes, bytearray, memoryview))
        if is_path and not os.access(source, os.R_OK):
            raise input_error(source, "")
        mode = MODE_WAVE if wav else MODE_DECODE
        with _players_lock:
            if is_path:
                self.handle = self._lib.AudioOutFileOpen(mode, source, _dispatch)
            else:
                self.handle = self._lib.AudioOutOpen(mode, bytes(source), _dispatch)
            if self.handle:
                _players[self.handle] = self
        if not self.handle:
            raise BrivaneError("the library refused to open %s" % self._name())

    def _name(self):
        return os.fsdecode(self.source) if not isinstance(self.source, (bytes, bytearray, memoryview)) else "the image"

    def _event(self, event, payload):
        if event == EVENT_FORMAT and len(payload) >= ctypes.sizeof(WaveFormat):
            self.format = WaveFormat.from_buffer_copy(payload)
            self._done.clear()
        elif event == EVENT_PLAYING:
            self._playing = True
            if self._volume is not None:
                self._lib.AudioOutSetVolume(self.handle, self._volume)
        if self.on_event:
            self.on_event(event, payload)
        if event == EVENT_DATA and self.on_data:
            self.on_data(payload)
        elif event == EVENT_END:
            self._playing = False
            self._done.set()
            if self.on_end:
                self.on_end()
        elif event == EVENT_COMMAND_FAILED:
            self._playing = False
            self._failed = True
            self._done.set()

    def _explain(self):
        """What the CLI says for the same failure: the library reports only that a command failed."""
        is_path = not isinstance(self.source, (bytes, bytearray, memoryview))
        if is_path and not os.access(self.source, os.R_OK):
            return input_error(self.source, "")
        format = _wave_format(self.source) if self.wav else (_probe_format(self.source) if is_path else self.format)
        if format is None:
            what = ("not a WAV file direct WAV mode plays (RIFF WAVE with its \"fmt \" chunk first; try without --wav)"
                    if self.wav else "not a medium the reader opens, or it holds no audio")
            return NotAMediumError("%s: %s" % (self._name(), what))
        if self._speed not in (0, 100) and (format.wBitsPerSample != 16 or format.nChannels not in (1, 2)):
            return FormatError("%s: a speed change takes 16-bit mono or stereo audio, not %d-bit with %d channels"
                               % (self._name(), format.wBitsPerSample, format.nChannels))
        if self.format is None:
            return NoDeviceError("no audio output device would open for %s (no sound card or server, or it refuses the "
                                 "format; SDL_AUDIODRIVER=dummy plays silently)" % self._name())
        return BrivaneError("playing %s failed" % self._name())

    def _check(self, result, what):
        if not result:
            raise BrivaneError("%s refused for %s" % (what, self._name()))

    def play(self):
        """Starts from the window start, or resumes after pause()."""
        self._done.clear()
        self._failed = False
        self._check(self._lib.AudioOutPlay(self.handle, 0), "play")

    def pause(self):
        self._check(self._lib.AudioOutPlay(self.handle, 1), "pause")

    def seek(self, position_ms):
        self._check(self._lib.AudioOutSeek(self.handle, position_ms), "seek")

    def set_window(self, start_ms, end_ms=None):
        """The part the next start plays; end_ms None plays to the end."""
        self._check(self._lib.AudioOutSetDuration(self.handle, start_ms, TO_END if end_ms is None else end_ms), "window")

    @property
    def speed(self):
        """Percent, 50..200 without change of pitch, 0 for silence at normal pace; applies at the next start."""
        return self._speed

    @speed.setter
    def speed(self, percent):
        self._check(self._lib.AudioOutSetSpeed(self.handle, percent), "speed")
        self._speed = percent

    @property
    def volume(self):
        """0..100; applied whenever playing begins, since the device opens only then (and at once while playing)."""
        return self._volume

    @volume.setter
    def volume(self, level):
        self._volume = level
        if self._playing:
            self._lib.AudioOutSetVolume(self.handle, level)

    @property
    def duration_ms(self):
        """The medium's length, known once play() or pause() has opened it; else 0."""
        return self._lib.AudioOutGetWholeDuration(self.handle)

    def wait(self, timeout=None):
        """Waits for the end of the playback; raises the failure if a command failed. False on timeout."""
        if not self._done.wait(timeout):
            return False
        if self._failed:
            # Told on the caller's thread: finding out why asks the library, which the service thread must not wait for.
            raise self._explain()
        return True

    def close(self):
        if self.handle:
            self._lib.AudioOutClose(self.handle)
            with _players_lock:
                _players.pop(self.handle, None)
            self.handle = 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _wave_format(path):
    """The format of a RIFF WAVE file whose "fmt " chunk comes first, or None."""
    try:
        with open(path, "rb") as file:
            head = file.read(36)
    except OSError:
        return None
    if len(head) < 36 or head[:4] != b"RIFF" or head[8:16] != b"WAVEfmt ":
        return None
    return WaveFormat.from_buffer_copy(head[20:36] + b"\0\0")


def _probe_format(path):
    """The format the reader decodes a file to, or None when it does not open it."""
    found = []
    cancel = ctypes.c_uint32(0)

    def on_pcm(code, user, data):
        if code == PCM_FORMAT and not found:
            found.append(WaveFormat.from_buffer_copy(data))
            cancel.value = 1

    lib = library()
    lib.GetAudioPCM(KIND_AUDIO, path, 0, 0, on_pcm, cancel=cancel)
    lib.GetAudioPCM(KIND_AUDIO, None, 0, 0, lambda *_: None)
    return found[0] if found else None


@atexit.register
def _shutdown():
    """Closes what is still open and stops the library before the interpreter can no longer run callbacks."""
    global _library
    with _players_lock:
        players = list(_players.values())
    for player in players:
        player.close()
    with _library_lock:
        if _library is not None:
            _library.UnInitBrivane()
            _library = None


__all__ = ["BrivaneError", "FileError", "NotAMediumError", "NoDeviceError", "FormatError", "Player", "decode",
           "convert", "duration", "load_wav", "library", "Brivane", "WaveFormat"]
