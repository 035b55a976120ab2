// The decoder: drives a Windows Media reader on a user clock, one second of media at a time, and hands
// every uncompressed sample of the file's audio to a PCM sink, as fast as the codec runs.
#pragma once

#include <atomic>

#include "files/PcmSink.h"
#include "platform/platform.h"

class CWMVRecompress final : public CComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    // Result a cancelled decode ends with: a success, so the call still succeeds.
    static const HRESULT kCancelled = 1235;

    CWMVRecompress();
    ~CWMVRecompress() override;

    // No out pointer is an invalid argument here rather than a bad pointer.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE dwType, BYTE *pValue,
                                       void *pvContext) override;
    HRESULT STDMETHODCALLTYPE OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration, DWORD dwFlags,
                                       INSSBuffer *pSample, void *pvContext) override;

    HRESULT STDMETHODCALLTYPE OnStreamSample(WORD wStreamNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                                             DWORD dwFlags, INSSBuffer *pSample, void *pvContext) override;
    HRESULT STDMETHODCALLTYPE OnTime(QWORD cnsCurrentTime, void *pvContext) override;
    HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD wStreamCount, WORD *pStreamNumbers,
                                                WMT_STREAM_SELECTION *pSelections, void *pvContext) override;
    HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD dwOutputNum, WM_MEDIA_TYPE *pMediaType,
                                                   void *pvContext) override;
    HRESULT STDMETHODCALLTYPE AllocateForStream(WORD wStreamNum, DWORD cbBuffer, INSSBuffer **ppBuffer,
                                                void *pvContext) override;
    HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD dwOutputNum, DWORD cbBuffer, INSSBuffer **ppBuffer,
                                                void *pvContext) override;

    // The event, the reader and its three interfaces, kept for every later decode.
    HRESULT CreateReaderObjects();
    void ReleaseReaderObjects();

    // GetAudioPCM's work: the file's PCM, or the window of it, to the host's callback; cancel is the
    // host's flag, read while the decode runs.
    HRESULT DecodeToCallback(LPCWSTR path, LONG windowStartMs, LONG windowEndMs, PcmDataCallback callback,
                             BRIVANE_USER user, volatile uint32_t *cancel);
    // Convert's media-to-WAV direction, with reader objects made for this call only.
    HRESULT DecodeToWavFile(LPCWSTR inputPath, LPCWSTR outputPath);

    // One decoded sample into the sink given as the context, cut at the file's duration.
    HRESULT DeliverSample(DWORD output, QWORD time, QWORD duration, DWORD flags, INSSBuffer *sample, void *context);

    // Prints the one line that explains a failed decode on standard output.
    static void ReportFailure(HRESULT code);
    // Bytes of a sample of length bytes at [time, time + duration) that fall before fileDuration.
    static LONG LengthWithinDuration(QWORD time, QWORD duration, QWORD fileDuration, DWORD length, DWORD byteRate,
                                     WORD bitsPerSample);

private:
    void *FindInterface(REFIID riid) override;
    // The creator holds the last reference and destroys the object itself.
    void OnFinalRelease() override {}
    HRESULT CreateAndOpen(LPCWSTR path);
    HRESULT OpenAndDecode(LPCWSTR path, CPcmSink *sink);
    HRESULT DecodeFile(LPCWSTR path, CPcmSink *sink);
    HRESULT DecodeOpenFile(CPcmSink *sink);
    HRESULT ReadDuration();
    HRESULT FindAudioFormat();
    void FindAudioOutput();
    void ApplyFormat(CPcmSink *sink);
    HRESULT RunToEnd(CPcmSink *sink);
    HRESULT CloseFile();
    HRESULT WaitForCompletion();
    bool IsCancelled();
    void Complete(HRESULT hr);

    WAVEFORMATEX m_streamFormat;
    BOOL m_bFormatValid = FALSE;
    IWMReader *m_pReader = nullptr;
    IWMReaderAdvanced *m_pReaderAdvanced = nullptr;
    IWMHeaderInfo *m_pHeaderInfo = nullptr;
    IWMProfile *m_pProfile = nullptr;
    volatile uint32_t *m_pCancel = nullptr;
    HANDLE m_hEvent = nullptr;
    std::atomic<HRESULT> m_hrAsync{S_OK};
    QWORD m_cnsTime = 0;
    std::atomic<BOOL> m_bEOF{FALSE};
    QWORD m_cnsDuration = 0;
    DWORD m_audioOutput;  // the only output whose samples reach the sink, or kAnyOutput
};
