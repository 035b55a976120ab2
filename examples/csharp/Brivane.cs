// P/Invoke declarations for the 22 exports of Brivane.dll, for Windows hosts of either bitness.
//
// Every export and callback is __stdcall. Callbacks run on the library's service thread (PcmDataCallback
// on the calling or the decoding thread), and the delegates handed over must be kept referenced by
// the host for as long as the library may call them. Text the library reads after an open has
// returned (the playback path, the capture profile) and memory images are passed as IntPtr to
// unmanaged memory the host keeps until the instance is closed: a marshalled string would be freed
// when the call returns.
using System;
using System.Runtime.InteropServices;

namespace Brivane
{
    /// <summary>The 18-byte wave format record, packed as on disk.</summary>
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct WaveFormat
    {
        public ushort wFormatTag;
        public ushort nChannels;
        public uint nSamplesPerSec;
        public uint nAvgBytesPerSec;
        public ushort nBlockAlign;
        public ushort wBitsPerSample;
        public ushort cbSize;

        public static WaveFormat Pcm(uint rate, ushort channels, ushort bits)
        {
            ushort align = (ushort)(channels * bits / 8);
            return new WaveFormat
            {
                wFormatTag = 1, nChannels = channels, nSamplesPerSec = rate, nAvgBytesPerSec = rate * align,
                nBlockAlign = align, wBitsPerSample = bits, cbSize = 0
            };
        }
    }

    /// <summary>Playback events: the payload is valid only during the call.</summary>
    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate void AudioOutCallback(uint handle, UIntPtr user, uint eventCode, IntPtr payload, uint size);

    /// <summary>Capture events: arg1 is 1 for raw PCM and 0 for encoder output, arg2 0 for header bytes.</summary>
    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate void AudioInCallback(uint handle, UIntPtr user, uint eventCode, uint arg1, uint arg2,
                                         IntPtr payload, uint size);

    /// <summary>GetAudioPCM's codes: format, data inside the window, end, window rejected.</summary>
    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate void PcmDataCallback(uint reserved, UIntPtr user, uint code, IntPtr data, uint length);

    public static class Events
    {
        public const uint Format = 1, Paused = 2, Playing = 3, Data = 4, End = 5, CommandFailed = 6;
        public const uint RecordBegin = 1, RecordStreamBegin = 3, RecordData = 4, RecordEnd = 5;
        public const uint RecordNotHeader = 0xFFFFFFFE;
        public const uint PcmFormat = 1, PcmData = 4, PcmEnd = 5, PcmWindowRejected = 6;
    }

    public static class Kinds
    {
        public const uint ModeDecode = 1, ModeWave = 2;
        public const uint Wma = 1, Wav = 2, Audio = 1;
        public const uint ToEnd = 0xFFFFFFFF;
    }

    public static class NativeMethods
    {
        const string Library = "Brivane.dll";
        const CallingConvention Call = CallingConvention.StdCall;

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern void AudioInClose(uint handle);

        /// <param name="profileXml">Zero-terminated UTF-16 profile text (Marshal.StringToHGlobalUni), kept until the close.</param>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioInOpen(uint kind, ref WaveFormat format, IntPtr profileXml,
                                              AudioInCallback callback, UIntPtr user);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioInSetVolume(uint unused1, uint unused2);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioInStart(uint handle, uint stop);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioInStop(uint handle);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern void AudioOutClose(uint handle);

        /// <param name="path">Zero-terminated UTF-16 path (Marshal.StringToHGlobalUni), kept until the close.</param>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutFileOpen(uint mode, IntPtr path, AudioOutCallback callback, UIntPtr user);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutGetWholeDuration(uint handle);

        /// <param name="image">The medium in unmanaged memory, kept unchanged until the close.</param>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutOpen(uint mode, IntPtr image, int length, AudioOutCallback callback,
                                               UIntPtr user);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutPlay(uint handle, uint pause);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutSeek(uint handle, uint positionMs);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutSetDuration(uint handle, uint startMs, uint endMs);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutSetEventMask(uint handle, uint mask);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutSetSpeed(uint handle, int speedPercent);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioOutSetVolume(uint handle, uint volume);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint AudioWavFreeData(IntPtr data);

        /// <returns>The 16-bit mono samples, to be given back with AudioWavFreeData, or IntPtr.Zero.</returns>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern IntPtr AudioWavGetData([MarshalAs(UnmanagedType.LPWStr)] string path, out uint sampleCount,
                                                    out WaveFormat format, uint unused);

        /// <param name="targetPath">A path in the system code page, as are all of Convert's paths.</param>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true, BestFitMapping = false)]
        public static extern uint Convert(uint targetKind, [MarshalAs(UnmanagedType.LPStr)] string targetPath,
                                          uint sourceKind, [MarshalAs(UnmanagedType.LPStr)] string sourcePath,
                                          [MarshalAs(UnmanagedType.LPWStr)] string profileXml);

        /// <param name="cancel">A host-owned u32 in unmanaged memory that any thread may set to stop, or IntPtr.Zero.</param>
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true, BestFitMapping = false)]
        public static extern uint GetAudioPCM(uint kind, [MarshalAs(UnmanagedType.LPStr)] string path, uint startMs,
                                              uint endMs, PcmDataCallback callback, UIntPtr user, IntPtr cancel);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint GetWmaFileDuration([MarshalAs(UnmanagedType.LPWStr)] string path);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern uint InitBrivane();

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern void UnInitBrivane();
    }
}
