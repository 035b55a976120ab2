"""The installed brivane module against the built library: its wrappers, and failures raised with the
texts and codes of the brivane command. SDL_AUDIODRIVER=dummy; BRIVANE_LIBRARY names the library."""

import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

import brivane

RATE = 16000


def write_wav(path, seconds, channels=1, width=2):
    frames = int(seconds * RATE)
    samples = [int(8000 * math.sin(2 * math.pi * 440 * i / RATE)) for i in range(frames) for _ in range(channels)]
    with wave.open(path, "wb") as file:
        file.setnchannels(channels)
        file.setsampwidth(width)
        file.setframerate(RATE)
        if width == 2:
            file.writeframes(struct.pack("<%dh" % len(samples), *samples))
        else:
            file.writeframes(b"".join(struct.pack("<i", s << 8)[:3] for s in samples))
    return samples


class ModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.dir = cls.scratch.name
        cls.samples = write_wav(cls.path("tone.wav"), 1.0)
        write_wav(cls.path("six.wav"), 0.2, channels=6)
        write_wav(cls.path("deep.wav"), 0.2, width=3)
        with open(cls.path("junk.wma"), "wb") as file:
            file.write(b"not a medium")

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.dir, name)

    def test_the_wrappers_do_the_work(self):
        pcm = struct.pack("<%dh" % len(self.samples), *self.samples)
        self.assertEqual(1000, brivane.duration(self.path("tone.wav")))
        samples, format = brivane.load_wav(self.path("tone.wav"))
        self.assertEqual(self.samples, list(samples))
        self.assertEqual((1, RATE, 16), (format.nChannels, format.nSamplesPerSec, format.wBitsPerSample))
        window = brivane.decode(self.path("tone.wav"), start_ms=250, end_ms=750)
        self.assertEqual(pcm[8000:24000], b"".join(window))
        self.assertEqual(RATE, window.format.nSamplesPerSec)
        for block in brivane.decode(self.path("tone.wav")):
            break  # leaving early cancels the decoding
        brivane.convert(self.path("tone.wav"), self.path("tone.wma"))
        self.assertAlmostEqual(1000, brivane.duration(self.path("tone.wma")), delta=100)
        brivane.convert(self.path("tone.wma"), self.path("back.wav"))
        self.assertAlmostEqual(RATE, len(brivane.load_wav(self.path("back.wav"))[0]), delta=RATE // 10)

        blocks, ends = [], []
        with brivane.Player(self.path("tone.wav"), on_data=blocks.append, on_end=lambda: ends.append(1)) as player:
            player.speed = 200
            player.volume = 50
            player.play()
            self.assertTrue(player.wait(15))
            self.assertEqual(1000, player.duration_ms)
        self.assertEqual(pcm, b"".join(blocks))
        self.assertEqual([1], ends)

    def test_failures_raise_what_the_command_says(self):
        cli = os.environ.get("BRIVANE_CLI")
        cases = [
            ("missing file", ["play", self.path("nosuch.wma")], lambda: brivane.Player(self.path("nosuch.wma")),
             brivane.FileError),
            ("not a medium", ["play", self.path("junk.wma")], lambda: self.play(self.path("junk.wma")),
             brivane.NotAMediumError),
            ("not a direct WAV", ["play", self.path("junk.wma"), "--wav"],
             lambda: self.play(self.path("junk.wma"), wav=True), brivane.NotAMediumError),
            ("speed change of 6 channels", ["play", self.path("six.wav"), "--speed", "150"],
             lambda: self.play(self.path("six.wav"), speed=150), brivane.FormatError),
            ("speed change of 24 bits", ["play", self.path("deep.wav"), "--wav", "--speed", "150"],
             lambda: self.play(self.path("deep.wav"), wav=True, speed=150), brivane.FormatError),
            ("duration", ["duration", self.path("junk.wma")], lambda: brivane.duration(self.path("junk.wma")),
             brivane.NotAMediumError),
            ("decode", ["pcm", self.path("junk.wma")], lambda: list(brivane.decode(self.path("junk.wma"))),
             brivane.NotAMediumError),
            ("convert", ["convert", self.path("junk.wma"), self.path("out.wav")],
             lambda: brivane.convert(self.path("junk.wma"), self.path("out.wav")), brivane.NotAMediumError),
            ("load_wav", ["wavdata", self.path("nosuch.wav")], lambda: brivane.load_wav(self.path("nosuch.wav")),
             brivane.FileError),
        ]
        for name, arguments, call, kind in cases:
            with self.subTest(name):
                with self.assertRaises(kind) as raised:
                    call()
                if cli:
                    told = subprocess.run([cli] + arguments, capture_output=True, text=True)
                    self.assertEqual("brivane %s: %s\n" % (arguments[0], raised.exception), told.stderr)
                    self.assertEqual(raised.exception.exit_code, told.returncode)

    def test_no_device_is_told_in_a_process_without_one(self):
        env = dict(os.environ, SDL_AUDIODRIVER="no-such-driver")
        script = ("import brivane, sys\ntry:\n    p = brivane.Player(sys.argv[1]); p.play(); p.wait(15)\n"
                  "except brivane.BrivaneError as e:\n    print(e); sys.exit(e.exit_code)\n")
        told = subprocess.run([sys.executable, "-c", script, self.path("tone.wav")], env=env, capture_output=True,
                              text=True)
        self.assertEqual(brivane.NoDeviceError.exit_code, told.returncode, told.stderr)
        cli = os.environ.get("BRIVANE_CLI")
        if cli:
            by_cli = subprocess.run([cli, "play", self.path("tone.wav")], env=env, capture_output=True, text=True)
            self.assertEqual("brivane play: " + told.stdout, by_cli.stderr)
            self.assertEqual(told.returncode, by_cli.returncode)

    def play(self, path, wav=False, speed=100):
        with brivane.Player(path, wav=wav) as player:
            player.speed = speed
            player.play()
            player.wait(15)


if __name__ == "__main__":
    unittest.main()
