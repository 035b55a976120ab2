"""ctypes bindings for the 22 exports of the Brivane library (libbrivane.so.0, or Brivane.dll on Windows).

`Brivane` loads the library and offers each export under its own name, taking Python values:
str paths and profiles, bytes images, and plain Python functions as callbacks. Callbacks run on the
library's service thread (or, for GetAudioPCM, on the calling thread) and receive the payload as
bytes copied during the call. Everything the library may still read after a call has returned (paths,
images, profiles, callbacks) is kept alive by the object until the last UnInitBrivane.

The raw exports, with their argument and result types set, are `Brivane.exports.<Name>`.
"""

import ctypes
import os
import sys
import threading

__all__ = [
    "EVENT_FORMAT", "EVENT_PAUSED", "EVENT_PLAYING", "EVENT_DATA", "EVENT_END", "EVENT_COMMAND_FAILED",
    "REC_EVENT_BEGIN", "REC_EVENT_STREAM_BEGIN", "REC_EVENT_DATA", "REC_EVENT_END", "REC_NOT_HEADER",
    "MODE_DECODE", "MODE_WAVE", "KIND_WMA", "KIND_WAV", "KIND_AUDIO", "TO_END",
    "PCM_FORMAT", "PCM_DATA", "PCM_END", "PCM_WINDOW_REJECTED",
    "u32", "USER", "WSTR", "WaveFormat", "AudioOutCallback", "AudioInCallback", "PcmDataCallback", "PROTOTYPES",
    "wide", "system_path", "find_library", "Exports", "Brivane",
]

_WINDOWS = sys.platform == "win32"
# The exports and callbacks are __stdcall on 32-bit Windows; elsewhere the two types are the same.
_FUNCTYPE = ctypes.WINFUNCTYPE if _WINDOWS else ctypes.CFUNCTYPE

EVENT_FORMAT = 1
EVENT_PAUSED = 2
EVENT_PLAYING = 3
EVENT_DATA = 4
EVENT_END = 5
EVENT_COMMAND_FAILED = 6

REC_EVENT_BEGIN = 1
REC_EVENT_STREAM_BEGIN = 3
REC_EVENT_DATA = 4
REC_EVENT_END = 5
REC_NOT_HEADER = 0xFFFFFFFE

MODE_DECODE = 1
MODE_WAVE = 2
KIND_WMA = 1
KIND_WAV = 2
KIND_AUDIO = 1
TO_END = 0xFFFFFFFF

PCM_FORMAT = 1
PCM_DATA = 4
PCM_END = 5
PCM_WINDOW_REJECTED = 6

u32 = ctypes.c_uint32
USER = ctypes.c_size_t  # user values are pointer-sized
WSTR = ctypes.POINTER(ctypes.c_uint16)  # UTF-16 text on every platform


class WaveFormat(ctypes.Structure):
    """The 18-byte wave format record, packed as on disk."""

    _pack_ = 1
    _fields_ = [
        ("wFormatTag", ctypes.c_uint16),
        ("nChannels", ctypes.c_uint16),
        ("nSamplesPerSec", u32),
        ("nAvgBytesPerSec", u32),
        ("nBlockAlign", ctypes.c_uint16),
        ("wBitsPerSample", ctypes.c_uint16),
        ("cbSize", ctypes.c_uint16),
    ]

    @classmethod
    def pcm(cls, rate, channels, bits=16):
        align = channels * bits // 8
        return cls(1, channels, rate, rate * align, align, bits, 0)


AudioOutCallback = _FUNCTYPE(None, u32, USER, u32, ctypes.c_void_p, u32)
AudioInCallback = _FUNCTYPE(None, u32, USER, u32, u32, u32, ctypes.c_void_p, u32)
PcmDataCallback = _FUNCTYPE(None, u32, USER, u32, ctypes.c_void_p, u32)

# Result type and argument types of each export, in ordinal order.
PROTOTYPES = {
    "AudioInClose": (None, [u32]),
    "AudioInOpen": (u32, [u32, ctypes.POINTER(WaveFormat), WSTR, AudioInCallback, USER]),
    "AudioInSetVolume": (u32, [u32, u32]),
    "AudioInStart": (u32, [u32, u32]),
    "AudioInStop": (u32, [u32]),
    "AudioOutClose": (None, [u32]),
    "AudioOutFileOpen": (u32, [u32, WSTR, AudioOutCallback, USER]),
    "AudioOutGetWholeDuration": (u32, [u32]),
    "AudioOutOpen": (u32, [u32, ctypes.c_void_p, ctypes.c_int32, AudioOutCallback, USER]),
    "AudioOutPlay": (u32, [u32, u32]),
    "AudioOutSeek": (u32, [u32, u32]),
    "AudioOutSetDuration": (u32, [u32, u32, u32]),
    "AudioOutSetEventMask": (u32, [u32, u32]),
    "AudioOutSetSpeed": (u32, [u32, ctypes.c_int32]),
    "AudioOutSetVolume": (u32, [u32, u32]),
    "AudioWavFreeData": (u32, [ctypes.c_void_p]),
    "AudioWavGetData": (ctypes.POINTER(ctypes.c_int16), [WSTR, ctypes.POINTER(u32), ctypes.POINTER(WaveFormat), u32]),
    "Convert": (u32, [u32, ctypes.c_char_p, u32, ctypes.c_char_p, WSTR]),
    "GetAudioPCM": (u32, [u32, ctypes.c_char_p, u32, u32, PcmDataCallback, USER, ctypes.POINTER(u32)]),
    "GetWmaFileDuration": (u32, [WSTR]),
    "InitBrivane": (u32, []),
    "UnInitBrivane": (None, []),
}


def wide(text):
    """Zero-terminated UTF-16 text for the exports that take BRIVANE_WCHAR strings."""
    if text is None:
        return None
    units = text.encode("utf-16-le")
    return (ctypes.c_uint16 * (len(units) // 2 + 1)).from_buffer_copy(units + b"\0\0")


def system_path(path):
    """An 8-bit path in the system code page (UTF-8 on Linux), as Convert and GetAudioPCM take."""
    if path is None or isinstance(path, bytes):
        return path
    return os.fsdecode(path).encode("mbcs") if _WINDOWS else os.fsencode(path)


def _payload(pointer, size):
    return ctypes.string_at(pointer, size) if pointer and size else b""


def find_library():
    """BRIVANE_LIBRARY when set, else a library next to this module, else the name the system's loader searches for."""
    if os.environ.get("BRIVANE_LIBRARY"):
        return os.environ["BRIVANE_LIBRARY"]
    names = ["Brivane.dll"] if _WINDOWS else ["libbrivane.so.0", "libbrivane.so"]
    here = os.path.dirname(os.path.abspath(__file__))
    for name in names:
        if os.path.exists(os.path.join(here, name)):
            return os.path.join(here, name)
    return names[0]


class Exports:
    """The raw exports, each with its result and argument types."""

    def __init__(self, library):
        for name, (result, arguments) in PROTOTYPES.items():
            function = getattr(library, name)
            function.restype = result
            function.argtypes = arguments
            setattr(self, name, function)


class Brivane:
    def __init__(self, path=None):
        path = path or find_library()
        self.library = (ctypes.WinDLL if _WINDOWS else ctypes.CDLL)(path)
        self.exports = Exports(self.library)
        self._lock = threading.Lock()
        self._init_count = 0
        self._kept = []  # what the library may still read, until the last UnInitBrivane
        self._callbacks = {}  # one ctypes callback per Python function, so repeated opens reuse it

    def _keep(self, *objects):
        with self._lock:
            self._kept.extend(objects)

    def _callback(self, kind, function, adapt):
        with self._lock:
            key = (kind, function)
            if key not in self._callbacks:
                self._callbacks[key] = kind(adapt(function))
            return self._callbacks[key]

    def _out_callback(self, function):
        return self._callback(AudioOutCallback, function, lambda f: lambda handle, user, event, payload, size:
                              f(handle, user, event, _payload(payload, size)))

    def _in_callback(self, function):
        return self._callback(AudioInCallback, function, lambda f: lambda handle, user, event, arg1, arg2, payload, size:
                              f(handle, user, event, arg1, arg2, _payload(payload, size)))

    # Library lifecycle.
    def InitBrivane(self):
        result = self.exports.InitBrivane()
        if result:
            with self._lock:
                self._init_count += 1
        return result

    def UnInitBrivane(self):
        self.exports.UnInitBrivane()
        with self._lock:
            if self._init_count > 0:
                self._init_count -= 1
            if self._init_count == 0:
                self._kept.clear()
                self._callbacks.clear()

    # Playback: callback(handle, user, event, payload bytes).
    def AudioOutOpen(self, mode, image, callback, user=0):
        buffer = ctypes.create_string_buffer(bytes(image), len(image))
        function = self._out_callback(callback)
        self._keep(buffer, function)
        return self.exports.AudioOutOpen(mode, buffer, len(image), function, user)

    def AudioOutFileOpen(self, mode, path, callback, user=0):
        text = wide(os.fsdecode(path))
        function = self._out_callback(callback)
        self._keep(text, function)
        return self.exports.AudioOutFileOpen(mode, text, function, user)

    def AudioOutPlay(self, handle, pause=0):
        return self.exports.AudioOutPlay(handle, pause)

    def AudioOutSeek(self, handle, position_ms):
        return self.exports.AudioOutSeek(handle, position_ms)

    def AudioOutSetDuration(self, handle, start_ms, end_ms=TO_END):
        return self.exports.AudioOutSetDuration(handle, start_ms, end_ms)

    def AudioOutSetEventMask(self, handle, mask):
        return self.exports.AudioOutSetEventMask(handle, mask)

    def AudioOutSetSpeed(self, handle, percent):
        return self.exports.AudioOutSetSpeed(handle, percent)

    def AudioOutSetVolume(self, handle, volume):
        return self.exports.AudioOutSetVolume(handle, volume)

    def AudioOutGetWholeDuration(self, handle):
        return self.exports.AudioOutGetWholeDuration(handle)

    def AudioOutClose(self, handle):
        self.exports.AudioOutClose(handle)

    # Capture: callback(handle, user, event, arg1, arg2, payload bytes).
    def AudioInOpen(self, kind, format, profile, callback, user=0):
        text = wide(profile)
        function = self._in_callback(callback)
        self._keep(text, function)
        return self.exports.AudioInOpen(kind, ctypes.byref(format), text, function, user)

    def AudioInStart(self, handle, stop=0):
        return self.exports.AudioInStart(handle, stop)

    def AudioInStop(self, handle):
        return self.exports.AudioInStop(handle)

    def AudioInSetVolume(self, unused1=0, unused2=0):
        return self.exports.AudioInSetVolume(unused1, unused2)

    def AudioInClose(self, handle):
        self.exports.AudioInClose(handle)

    # Files, on the calling thread.
    def Convert(self, target_kind, target_path, source_kind, source_path, profile=None):
        return self.exports.Convert(target_kind, system_path(target_path), source_kind, system_path(source_path),
                                    wide(profile))

    def GetAudioPCM(self, kind, path, start_ms, end_ms, callback, user=0, cancel=None):
        """callback(code, user, data bytes); cancel is a ctypes.c_uint32 another thread may set to 1."""
        function = PcmDataCallback(lambda reserved, value, code, data, length: callback(code, value, _payload(data, length)))
        return self.exports.GetAudioPCM(kind, system_path(path), start_ms, end_ms, function, user,
                                        ctypes.byref(cancel) if cancel is not None else None)

    def GetWmaFileDuration(self, path):
        return self.exports.GetWmaFileDuration(wide(os.fsdecode(path)))

    def AudioWavGetData(self, path):
        """(pointer to the 16-bit samples or None, sample count, the file's WaveFormat); free with AudioWavFreeData."""
        count = u32(0)
        format = WaveFormat()
        data = self.exports.AudioWavGetData(wide(os.fsdecode(path)), ctypes.byref(count), ctypes.byref(format), 0)
        return (data if data else None), count.value, format

    def AudioWavFreeData(self, data):
        return self.exports.AudioWavFreeData(ctypes.cast(data, ctypes.c_void_p) if data else None)

    def load_wav(self, path):
        """A WAV file's samples as 16-bit mono ints and its own format, or (None, format) when refused."""
        data, count, format = self.AudioWavGetData(path)
        if data is None:
            return None, format
        try:
            return data[:count], format
        finally:
            self.AudioWavFreeData(data)
