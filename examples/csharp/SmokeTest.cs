// Calls each of the 22 exports through the declarations in Brivane.cs and checks what comes back:
// playback from a file and from an image with their events, capture while encoding, conversion both
// ways, a decoded window and a loaded WAV file. usage: SmokeTest.exe WORKDIR PROFILE.prx
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Threading;

namespace Brivane
{
    static class SmokeTest
    {
        const uint Rate = 16000;
        static int failures;

        static void Check(bool ok, string what)
        {
            Console.WriteLine((ok ? "ok: " : "FAIL: ") + what);
            if (!ok) failures++;
        }

        // One second of a 440 Hz tone, 16 kHz mono 16-bit, as a 44-byte-header WAV image.
        static byte[] ToneWav()
        {
            var stream = new MemoryStream();
            var writer = new BinaryWriter(stream);
            int bytes = (int)Rate * 2;
            writer.Write(new[] { 'R', 'I', 'F', 'F' });
            writer.Write(36 + bytes);
            writer.Write(new[] { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ' });
            writer.Write(16);
            WaveFormat format = WaveFormat.Pcm(Rate, 1, 16);
            writer.Write(format.wFormatTag);
            writer.Write(format.nChannels);
            writer.Write(format.nSamplesPerSec);
            writer.Write(format.nAvgBytesPerSec);
            writer.Write(format.nBlockAlign);
            writer.Write(format.wBitsPerSample);
            writer.Write(new[] { 'd', 'a', 't', 'a' });
            writer.Write(bytes);
            for (int i = 0; i < Rate; i++) writer.Write((short)(8000 * Math.Sin(2 * Math.PI * 440 * i / Rate)));
            writer.Flush();
            return stream.ToArray();
        }

        class Playback
        {
            public readonly List<uint> Codes = new List<uint>();
            public readonly ManualResetEvent Done = new ManualResetEvent(false);
            public long PcmBytes;
            public bool OtherUser;
            public readonly AudioOutCallback Callback;

            public Playback(UIntPtr expectedUser)
            {
                Callback = (handle, user, code, payload, size) =>
                {
                    lock (Codes) Codes.Add(code);
                    if (user != expectedUser) OtherUser = true;
                    if (code == Events.Data) Interlocked.Add(ref PcmBytes, size);
                    if (code == Events.End || code == Events.CommandFailed) Done.Set();
                };
            }
        }

        static void Play(string what, Func<AudioOutCallback, uint> open)
        {
            var playback = new Playback((UIntPtr)7);
            uint handle = open(playback.Callback);
            Check(handle != 0, what + ": opened");
            Check(NativeMethods.AudioOutSetEventMask(handle, 0) == 1 && NativeMethods.AudioOutSetSpeed(handle, 100) == 1 &&
                  NativeMethods.AudioOutSetDuration(handle, 0, Kinds.ToEnd) == 1 && NativeMethods.AudioOutPlay(handle, 0) == 1,
                  what + ": commands posted");
            Check(playback.Done.WaitOne(15000), what + ": ended");
            string codes;
            lock (playback.Codes) codes = string.Join(" ", playback.Codes);
            long pcmBytes = Interlocked.Read(ref playback.PcmBytes);
            Check(NativeMethods.AudioOutGetWholeDuration(handle) == 1000, what + ": lasts 1000 ms");
            // Posting is all these report; what the player makes of them comes after the end seen above.
            Check(NativeMethods.AudioOutSetVolume(handle, 80) == 1 && NativeMethods.AudioOutSeek(handle, 0) == 1,
                  what + ": volume and seek posted");
            NativeMethods.AudioOutClose(handle);
            Check(codes.StartsWith("1 ") && codes.Contains(" 3 ") && codes.EndsWith(" 5"),
                  what + ": format, playing, data, end (" + codes + ")");
            Check(pcmBytes == Rate * 2 && !playback.OtherUser, what + ": every PCM byte (" + pcmBytes + "), with its user value");
            GC.KeepAlive(playback);
        }

        static void Record(string profile)
        {
            IntPtr text = Marshal.StringToHGlobalUni(profile);
            long raw = 0, header = 0, units = 0;
            var ended = new ManualResetEvent(false);
            AudioInCallback onCapture = (instance, user, code, arg1, arg2, payload, size) =>
            {
                if (code == Events.RecordData && arg1 == 1) raw += size;
                else if (code == Events.RecordData && arg2 == 0) header += size;
                else if (code == Events.RecordData && arg2 == Events.RecordNotHeader) units += size;
                else if (code == Events.RecordEnd) ended.Set();
            };
            WaveFormat format = WaveFormat.Pcm(Rate, 1, 16);
            uint handle = NativeMethods.AudioInOpen(Kinds.Audio, ref format, text, onCapture, UIntPtr.Zero);
            Check(handle != 0 && NativeMethods.AudioInStart(handle, 0) == 1, "capture started");
            Thread.Sleep(1000);
            Check(NativeMethods.AudioInStop(handle) == 1 && ended.WaitOne(5000), "capture stopped, encoder finished");
            Check(NativeMethods.AudioInStart(handle, 1) == 1, "capture halt posted");
            NativeMethods.AudioInClose(handle);
            Check(raw > Rate && header > 0 && units > 0, "raw PCM " + raw + " bytes, header " + header + ", data " + units);
            GC.KeepAlive(onCapture);
            Marshal.FreeHGlobal(text);
        }

        static int Main(string[] args)
        {
            string directory = args[0];
            string profile = File.ReadAllText(args[1]);
            string wav = Path.Combine(directory, "tone.wav"), wma = Path.Combine(directory, "tone.wma");
            string back = Path.Combine(directory, "back.wav");
            byte[] image = ToneWav();
            File.WriteAllBytes(wav, image);

            Check(NativeMethods.InitBrivane() == 1, "InitBrivane");
            Check(NativeMethods.AudioInSetVolume(1, 2) == 0, "AudioInSetVolume gives 0");
            IntPtr path = Marshal.StringToHGlobalUni(wav);
            IntPtr memory = Marshal.AllocHGlobal(image.Length);
            Marshal.Copy(image, 0, memory, image.Length);
            Play("file, decoded", callback => NativeMethods.AudioOutFileOpen(Kinds.ModeDecode, path, callback, (UIntPtr)7));
            Play("image, direct", callback => NativeMethods.AudioOutOpen(Kinds.ModeWave, memory, image.Length, callback, (UIntPtr)7));
            Record(profile);

            Check(NativeMethods.Convert(Kinds.Wma, wma, Kinds.Wav, wav, profile) == 1, "WAV to WMA");
            Check(Math.Abs((int)NativeMethods.GetWmaFileDuration(wma) - 1000) <= 100, "the WMA lasts about 1000 ms");
            Check(NativeMethods.Convert(Kinds.Wav, back, Kinds.Wma, wma, null) == 1, "WMA to WAV");
            uint count;
            WaveFormat loaded;
            IntPtr samples = NativeMethods.AudioWavGetData(back, out count, out loaded, 0);
            Check(samples != IntPtr.Zero && Math.Abs((int)count - (int)Rate) <= Rate / 10 && loaded.nSamplesPerSec == Rate,
                  "the WAV made back loads with " + count + " samples");
            Check(NativeMethods.AudioWavFreeData(samples) == 1, "AudioWavFreeData");

            long pcm = 0;
            var codes = new List<uint>();
            PcmDataCallback onPcm = (reserved, user, code, data, length) =>
            {
                lock (codes) codes.Add(code);
                if (code == Events.PcmData) pcm += length;
            };
            IntPtr cancel = Marshal.AllocHGlobal(4);
            Marshal.WriteInt32(cancel, 0);
            Check(NativeMethods.GetAudioPCM(Kinds.Audio, wav, 200, 700, onPcm, UIntPtr.Zero, cancel) == 1 &&
                  codes[0] == Events.PcmFormat && codes[codes.Count - 1] == Events.PcmEnd && Math.Abs(pcm - 16000) <= 64,
                  "GetAudioPCM hands over 500 ms of PCM (" + pcm + " bytes)");
            Check(NativeMethods.GetAudioPCM(Kinds.Audio, null, 0, 0, onPcm, UIntPtr.Zero, IntPtr.Zero) == 1, "decoder released");
            GC.KeepAlive(onPcm);

            NativeMethods.UnInitBrivane();
            Marshal.FreeHGlobal(cancel);
            Marshal.FreeHGlobal(memory);
            Marshal.FreeHGlobal(path);
            return failures == 0 ? 0 : 1;
        }
    }
}
