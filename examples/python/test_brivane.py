"""Drives the Linux library through the ctypes bindings: playback with its events, conversion both ways,
decoding a window to PCM and loading a WAV file. BRIVANE_LIBRARY, BRIVANE_PROFILE and BRIVANE_HEADER
name the library, the speech profile and brivane.h."""

import ctypes
import math
import os
import re
import struct
import tempfile
import threading
import unittest
import wave

import brivane

RATE = 16000
FORMAT = brivane.WaveFormat.pcm(RATE, 1)


SCALARS = {"uint32_t": ctypes.c_uint32, "int32_t": ctypes.c_int32, "BRIVANE_USER": brivane.USER}


def is_pointer(kind):
    return kind in (ctypes.c_void_p, ctypes.c_char_p) or issubclass(kind, (ctypes._Pointer, ctypes._CFuncPtr))


def tone_samples(seconds, frequency=440.0):
    return [int(8000 * math.sin(2 * math.pi * frequency * i / RATE)) for i in range(int(seconds * RATE))]


def write_wav(path, samples):
    with wave.open(path, "wb") as file:
        file.setnchannels(1)
        file.setsampwidth(2)
        file.setframerate(RATE)
        file.writeframes(struct.pack("<%dh" % len(samples), *samples))


class PlaybackLog:
    def __init__(self):
        self.events = []
        self.done = threading.Event()

    def __call__(self, handle, user, event, payload):
        self.events.append((handle, user, event, payload))
        if event in (brivane.EVENT_END, brivane.EVENT_COMMAND_FAILED):
            self.done.set()


class BrivaneTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = brivane.Brivane(os.environ.get("BRIVANE_LIBRARY"))
        cls.scratch = tempfile.TemporaryDirectory()
        cls.samples = tone_samples(1.0)
        cls.wav = os.path.join(cls.scratch.name, "tone ü.wav")
        write_wav(cls.wav, cls.samples)
        with open(os.environ["BRIVANE_PROFILE"], encoding="utf-8") as file:
            cls.profile = file.read()

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def setUp(self):
        self.assertEqual(1, self.lib.InitBrivane())

    def tearDown(self):
        self.lib.UnInitBrivane()

    def test_the_bindings_declare_every_export_of_the_header(self):
        with open(os.environ["BRIVANE_HEADER"], encoding="utf-8") as file:
            header = " ".join(file.read().split())
        found = re.findall(r"BRIVANE_API ([^;]*?)\s*BRIVANE_CALL (\w+)\(([^)]*)\);", header)
        declared = {name: parameters for _, name, parameters in found}
        header_results = {name: result for result, name, _ in found}
        self.assertEqual(22, len(declared))
        self.assertEqual(sorted(declared), sorted(brivane.PROTOTYPES))
        for name, parameters in declared.items():
            result, arguments = brivane.PROTOTYPES[name]
            parameters = [] if parameters.strip() == "void" else [p.strip() for p in parameters.split(",")]
            self.assertEqual(len(parameters), len(arguments), name)
            for parameter, argument in zip(parameters, arguments):
                if "*" in parameter or parameter.split()[0].endswith("Callback"):
                    self.assertTrue(is_pointer(argument), "%s: %s" % (name, parameter))
                else:
                    self.assertIs(SCALARS[parameter.split()[0]], argument, "%s: %s" % (name, parameter))
            self.assertEqual(result is None, header_results[name] == "void", name)

    def test_plays_a_wav_with_its_events(self):
        with open(self.wav, "rb") as file:
            image = file.read()
        opens = [
            ("file, decoded", lambda log: self.lib.AudioOutFileOpen(brivane.MODE_DECODE, self.wav, log, 7)),
            ("file, direct", lambda log: self.lib.AudioOutFileOpen(brivane.MODE_WAVE, self.wav, log, 7)),
            ("image, direct", lambda log: self.lib.AudioOutOpen(brivane.MODE_WAVE, image, log, 7)),
        ]
        for name, open_instance in opens:
            with self.subTest(name):
                log = PlaybackLog()
                handle = open_instance(log)
                self.assertNotEqual(0, handle)
                self.assertEqual(1, self.lib.AudioOutPlay(handle, 0))
                self.assertTrue(log.done.wait(15), "no end event")
                self.lib.AudioOutClose(handle)
                codes = [event for _, _, event, _ in log.events]
                self.assertEqual(brivane.EVENT_FORMAT, codes[0], codes)
                self.assertEqual(bytes(FORMAT), log.events[0][3])
                self.assertIn(brivane.EVENT_PLAYING, codes)
                self.assertEqual(brivane.EVENT_END, codes[-1], codes)
                self.assertEqual({(handle, 7)}, {(h, user) for h, user, _, _ in log.events})
                pcm = b"".join(payload for _, _, event, payload in log.events if event == brivane.EVENT_DATA)
                self.assertEqual(struct.pack("<%dh" % len(self.samples), *self.samples), pcm)

    def test_converts_wav_to_wma_and_back(self):
        wma = os.path.join(self.scratch.name, "tone.wma")
        back = os.path.join(self.scratch.name, "back.wav")
        self.assertEqual(1, self.lib.Convert(brivane.KIND_WMA, wma, brivane.KIND_WAV, self.wav, self.profile))
        self.assertAlmostEqual(1000, self.lib.GetWmaFileDuration(wma), delta=100)
        self.assertEqual(1, self.lib.Convert(brivane.KIND_WAV, back, brivane.KIND_WMA, wma))
        samples, format = self.lib.load_wav(back)
        self.assertEqual((1, 1, RATE, 16), (format.wFormatTag, format.nChannels, format.nSamplesPerSec, format.wBitsPerSample))
        self.assertAlmostEqual(RATE, len(samples), delta=RATE // 10)
        # Lossy, but still the tone: its level, not silence.
        level = math.sqrt(sum(s * s for s in samples[2000:14000]) / 12000)
        self.assertAlmostEqual(8000 / math.sqrt(2), level, delta=1500)
        self.assertEqual(0, self.lib.Convert(brivane.KIND_WMA, wma, brivane.KIND_WMA, self.wav, self.profile))

    def test_decodes_a_window_to_pcm(self):
        for cancel, expected_bytes in ((0, 500 * RATE * 2 // 1000), (1, 0)):
            with self.subTest(cancel=cancel):
                calls = []
                flag = ctypes.c_uint32(cancel)
                result = self.lib.GetAudioPCM(brivane.KIND_AUDIO, self.wav, 200, 700,
                                              lambda code, user, data: calls.append((code, user, data)), 9, flag)
                self.assertEqual(1, result)
                codes = [code for code, _, _ in calls]
                self.assertEqual((brivane.PCM_FORMAT, brivane.PCM_END), (codes[0], codes[-1]), codes)
                self.assertEqual(bytes(FORMAT), calls[0][2])
                self.assertEqual({9}, {user for _, user, _ in calls})
                pcm = b"".join(data for code, _, data in calls if code == brivane.PCM_DATA)
                self.assertAlmostEqual(expected_bytes, len(pcm), delta=64)
        self.assertEqual(1, self.lib.GetAudioPCM(brivane.KIND_AUDIO, None, 0, 0, lambda *_: None))

    def test_loads_a_wav_file(self):
        samples, format = self.lib.load_wav(self.wav)
        self.assertEqual(self.samples, samples)
        self.assertEqual(bytes(FORMAT), bytes(format))
        data, count, _ = self.lib.AudioWavGetData(os.path.join(self.scratch.name, "missing.wav"))
        self.assertEqual((None, 0), (data, count))
        self.assertEqual(1, self.lib.AudioWavFreeData(None))


if __name__ == "__main__":
    unittest.main()
