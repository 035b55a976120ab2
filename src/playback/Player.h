// One playback instance: the Windows Media reader's callback object, which decodes a medium into
// the wave device and, cut into blocks, into data events for the host.
#pragma once

#include <atomic>

#include "core/InstanceInterfaces.h"
#include "files/SamplePool.h"
#include "platform/platform.h"
#include "playback/HostFeed.h"
#include "playback/WaveOutput.h"
#include "stretch/SpeedAdaptor.h"

// Play states.
enum : DWORD {
    PS_STARTING = 1,
    PS_ENDED = 2,
    PS_PAUSED = 3,
    PS_PLAYING = 4,
    PS_STOPPED = 9,
    PS_BUFFERING = 10,
};

// Events a player raises through its sink.
enum : DWORD {
    EVENT_FORMAT = 1,
    EVENT_PAUSED = 2,
    EVENT_PLAYING = 3,
    EVENT_DATA = 4,
    EVENT_END = 5,
};

// Teardown stages: samples, finished buffers and state changes are acted on only while active.
enum : DWORD { TD_ACTIVE = 0, TD_CLOSED = 1, TD_STOPPING = 2 };

enum : DWORD { PLAY_MODE_DECODE = 1, PLAY_MODE_WAVE = 2 };

// Progress of one start's end; kEndPaced: its silence is queued and the paced queue raises the end.
enum : DWORD { kEndOpen = 0, kEndReported = 1, kEndEntered = 2, kEndPaced = 3 };

const DWORD kNoOutput = 0xFFFFFFFF;

class CPlayer : public CComObject<IWMReaderCallback, IWMReaderCallbackAdvanced>,
                private IWaveOutputOwner,
                private IHostFeedOwner {
public:
    CPlayer();

    // IWMReaderCallback
    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value,
                                       void *context) override;
    HRESULT STDMETHODCALLTYPE OnSample(DWORD output, QWORD time, QWORD duration, DWORD flags, INSSBuffer *sample,
                                       void *context) override;

    // IWMReaderCallbackAdvanced
    HRESULT STDMETHODCALLTYPE OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) override;
    HRESULT STDMETHODCALLTYPE OnTime(QWORD currentTime, void *context) override;
    HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) override;
    HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) override;
    HRESULT STDMETHODCALLTYPE AllocateForStream(WORD, DWORD, INSSBuffer **, void *) override;
    HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD output, DWORD size, INSSBuffer **buffer, void *context) override;

    // Releases everything that belongs to the reader; the player can create a new one.
    virtual HRESULT Close();
    virtual HRESULT Stop();
    virtual HRESULT StartReader(QWORD start, QWORD duration);

    HRESULT CreateReader();
    // Opens a media file by name through the reader and waits for it.
    HRESULT OpenFile(LPCWSTR name);
    QWORD GetDuration() const { return m_duration.load(); }
    BOOL IsSeekable() const { return m_seekable; }

    void SetHandle(WORD handle) { m_handle = handle; }
    void SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Seek(DWORD positionMs);
    HRESULT SetPlayWindow(DWORD startMs, DWORD endMs);
    HRESULT SetSpeed(LONG percent);
    HRESULT SetEventMask(DWORD mask);
    HRESULT SetVolume(DWORD volume);

    DWORD State() const { return m_state.load(); }
    const WAVEFORMATEX *Format() const { return m_pFormat; }
    DWORD MsToBytes(DWORD ms) const;
    double BytesToMs(DWORD bytes) const;

protected:
    virtual ~CPlayer();
    // IUnknown of both callback interfaces.
    void *FindInterface(REFIID riid) override;

    HRESULT ReadAttributes();
    HRESULT GetAttribute(LPCWSTR name, BYTE **out);
    HRESULT SelectOutput();
    void SetFormat(const WAVEFORMATEX *format);
    HRESULT Fail(const char *text, HRESULT hr);
    HRESULT WaitForCompletion(std::atomic<LONG> *done);

    // Wave output, on the wave-output device through a render thread of its own.
    HRESULT StartOutput(QWORD start, QWORD duration);
    static LONG WritePcmCallback(const BYTE *data, LONG bytes, void *player);
    void WritePcm(const BYTE *data, DWORD bytes);
    HRESULT AbortOutput();
    // Ends this start with the command-failure event in place of its end event, once.
    void ReportDeviceFailure();
    // Everything an open established about the previous medium, forgotten before the next open.
    void ForgetMedium();
    void OnRenderStarted() override;
    // Finished buffers are unprepared, and the user clock handed over, only while active.
    BOOL IsActive() override { return m_teardown == TD_ACTIVE; }
    void OnOutputEmpty(DWORD generation) override;

    // Play control.
    void SetState(DWORD state);
    void Raise(DWORD code, const void *data, DWORD size);
    BOOL EventPasses(DWORD code) const;
    HRESULT StartPlayback();
    HRESULT Resume();
    HRESULT ConfigureClock();
    BOOL ApplySpeed(float factor);
    void WindowBounds(QWORD *start, QWORD *end) const;
    // A pause or seek right after a start waits, within a limit, for the reader to report that start.
    void WaitForStart();
    // The reader's start and sample context: the play generation of the start they belong to.
    static void *StartContext(DWORD generation);
    static DWORD StartGeneration(void *context);
    BOOL IsCurrentStart(void *context) const;
    void OnStreamEnd(BOOL signalCompletion, HRESULT result, DWORD generation);
    // The end-of-stream marks under the player lock; TRUE when no wave buffer is pending any more.
    BOOL MarkStreamEnd(BOOL signalCompletion, HRESULT result);
    void FlushAdaptor();

    // Host data blocks and their pacing.
    void DeliverRemainder();
    DWORD FillSilence();
    // The end of the start of that play generation; nothing when another start has begun since.
    void EnterEnded(DWORD generation);
    // The ended play state, then the end, of the start of that play generation while it is the current one.
    void EndStart(DWORD generation);
    BOOL IsPaced() const { return m_feed.IsClocked() || m_mode == PLAY_MODE_WAVE; }
    HRESULT StartPacing(DWORD periodMs);
    void SetHostBlockSize();
    BOOL TakesData() override { return m_pfnSink && EventPasses(EVENT_DATA); }
    void RaiseData(const BYTE *data, DWORD size) override { Raise(EVENT_DATA, data, size); }
    BOOL HasEnded() override { return m_endReported.load() == kEndPaced; }
    void OnPacedEnd() override;

    // Streaming with back-pressure: more media is read or decoded only while the host data and the
    // device hold less than the look-ahead.
    BOOL WantsMoreMedia() const;
    // On the tick thread after each drain: lets the reader's clock run on as the media is taken.
    void OnTick() override;
    // The user clock's next step, once the reader has reached the last one and more media is wanted.
    void ExtendClock();

    WORD m_handle = 0;
    std::atomic<DWORD> m_state{PS_STOPPED};
    // The window, the duration and the speed are set on the service thread and read on the reader's.
    std::atomic<QWORD> m_windowStart{0};
    std::atomic<QWORD> m_windowEnd{0};
    BOOL m_seekable = FALSE;
    BOOL m_broadcast = FALSE;
    std::atomic<LONG> m_endOfStream{0};
    DWORD m_outputNumber = kNoOutput;
    HANDLE m_hEvent = INVALID_HANDLE_VALUE;
    std::atomic<HRESULT> m_asyncResult{S_OK};
    IWMReader *m_pReader = nullptr;
    IWMHeaderInfo *m_pHeaderInfo = nullptr;
    WCHAR *m_pFileName = nullptr;
    std::atomic<QWORD> m_duration{0};
    PlayEventSink m_pfnSink = nullptr;
    void *m_sinkContext = nullptr;
    CRITICAL_SECTION m_lock;
    std::atomic<DWORD> m_teardown{TD_ACTIVE};
    CSamplePool m_samplePool;
    // kEndOpen, then kEndEntered once the end of this start has begun (its silence fill runs once),
    // kEndPaced once a paced end's silence is queued, then kEndReported; back to kEndOpen at every start.
    std::atomic<DWORD> m_endReported{0};
    CWaveOutput m_output{this, &m_lock};
    CHostFeed m_feed{this, &m_lock};
    CSpeedAdaptor m_speedAdaptor;
    std::atomic<LONG> m_speed{100};
    // The speed in force since the last start: the clock mode, the engine and the block size follow it.
    std::atomic<LONG> m_playSpeed{100};
    std::atomic<DWORD> m_eventMask{0};
    // Set by an open on the service thread while a parked player's tick thread may still look at it.
    std::atomic<DWORD> m_mode{PLAY_MODE_DECODE};
    WAVEFORMATEX *m_pFormat = nullptr;

    // Completion flags of the reader's open and close, so that another status setting m_hEvent
    // cannot end a wait early.
    std::atomic<LONG> m_openDone{0};
    std::atomic<LONG> m_closeDone{0};
    // Changes at every start and stop, so an end report delayed by the silence fill can tell that
    // its playback is gone.
    std::atomic<DWORD> m_playGeneration{0};
    // The output generation (high half) the current start writes in and its play generation (low half).
    std::atomic<ULONGLONG> m_outputStart{0};
    // The reader has been asked to start and has not reported it yet.
    std::atomic<BOOL> m_startPending{FALSE};
    char m_diagnostic[256] = {};
};

// Waits for a handle while dispatching the calling thread's window messages; 1 when the wait ended
// other than by the timeout. 0xFFFFFFFF waits without limit.
int PumpWait(HANDLE handle, DWORD timeoutMs);
