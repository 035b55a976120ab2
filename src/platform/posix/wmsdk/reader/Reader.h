// The Windows Media reader on FFmpeg: one object answering IWMReader, IWMReaderAdvanced2,
// IWMHeaderInfo and IWMProfile. Its methods check and queue; its worker thread does the work and
// calls the host back. Features the library does not use answer E_NOTIMPL.
#pragma once

#include "platform/ComObject.h"
#include "ReaderWorker.h"

namespace posix {

class CReader final : public CComObject<IWMReader, IWMReaderAdvanced2, IWMHeaderInfo, IWMProfile> {
public:
    // One reference; null when no worker thread can be started.
    static CReader *Create();

    // IWMReader
    HRESULT STDMETHODCALLTYPE Open(const WCHAR *url, IWMReaderCallback *callback, void *context) override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE GetOutputCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD output, IWMOutputMediaProps **props) override;
    HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD output, IWMOutputMediaProps *props) override;
    HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD output, DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD output, DWORD format, IWMOutputMediaProps **props) override;
    HRESULT STDMETHODCALLTYPE Start(QWORD start, QWORD duration, float rate, void *context) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Resume() override;

    // IWMReaderAdvanced
    HRESULT STDMETHODCALLTYPE SetUserProvidedClock(BOOL userClock) override;
    HRESULT STDMETHODCALLTYPE GetUserProvidedClock(BOOL *userClock) override;
    HRESULT STDMETHODCALLTYPE DeliverTime(QWORD time) override;
    HRESULT STDMETHODCALLTYPE SetManualStreamSelection(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetManualStreamSelection(BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamsSelected(WORD, WORD *, WMT_STREAM_SELECTION *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamSelected(WORD, WMT_STREAM_SELECTION *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetReceiveSelectionCallbacks(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetReceiveSelectionCallbacks(BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetReceiveStreamSamples(WORD, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetReceiveStreamSamples(WORD, BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAllocateForOutput(DWORD output, BOOL allocate) override;
    HRESULT STDMETHODCALLTYPE GetAllocateForOutput(DWORD output, BOOL *allocate) override;
    HRESULT STDMETHODCALLTYPE SetAllocateForStream(WORD, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllocateForStream(WORD, BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatistics(WM_READER_STATISTICS *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClientInfo(WM_READER_CLIENTINFO *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxOutputSampleSize(DWORD output, DWORD *size) override;
    HRESULT STDMETHODCALLTYPE GetMaxStreamSampleSize(WORD, DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NotifyLateDelivery(QWORD) override { return E_NOTIMPL; }

    // IWMReaderAdvanced2
    HRESULT STDMETHODCALLTYPE SetPlayMode(WMT_PLAY_MODE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPlayMode(WMT_PLAY_MODE *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBufferProgress(DWORD *, QWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDownloadProgress(DWORD *, QWORD *, QWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSaveAsProgress(DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveFileAs(const WCHAR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProtocolName(WCHAR *, DWORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartAtMarker(WORD, QWORD, float, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE *, BYTE *, WORD *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetOutputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE *, WORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Preroll(QWORD, QWORD, float) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLogClientID(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLogClientID(BOOL *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StopBuffering() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenStream(IStream *stream, IWMReaderCallback *callback, void *context) override;

    // IWMHeaderInfo: the file's "Duration", "Seekable" and "Broadcast"; no markers, no scripts.
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD *count) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD *stream, WCHAR *name, WORD *nameLength,
                                                  WMT_ATTR_DATATYPE *type, BYTE *value, WORD *length) override;
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD *stream, LPCWSTR name, WMT_ATTR_DATATYPE *type, BYTE *value,
                                                 WORD *length) override;
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE *, WORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD *count) override;
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR *, WORD *, QWORD *) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD *count) override;
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR *, WORD *, WCHAR *, WORD *, QWORD *) override {
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR, LPCWSTR, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }

    // IWMProfile: the open medium's streams, read-only.
    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION *version) override;
    HRESULT STDMETHODCALLTYPE GetName(WCHAR *name, DWORD *length) override;
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR *description, DWORD *length) override;
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetStream(DWORD index, IWMStreamConfig **config) override;
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD number, IWMStreamConfig **config) override;
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID, IWMStreamConfig **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD *count) override;
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion **) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion **) override { return E_NOTIMPL; }

private:
    void *FindInterface(REFIID riid) override;
    explicit CReader(CReaderWorker *worker) : m_worker(worker) {}
    ~CReader();

    HRESULT BeginOpen(CReaderWorker::Request request);
    HRESULT Post(CReaderWorker::Request request, CReaderWorker::State required, HRESULT otherwise);
    // The open medium's description, or null while none is open.
    std::shared_ptr<const MediaInfo> Medium();
    // Answers from the open medium: E_INVALIDARG without `out`, NS_E_INVALID_REQUEST while none is open.
    template <class Answer>
    HRESULT WithMedium(const void *out, Answer answer);
    // The same for one output of the medium: E_INVALIDARG for an output it does not have.
    template <class Answer>
    HRESULT WithOutput(DWORD output, const void *out, Answer answer);
    // Uses one output's allocation flag under the worker's lock.
    template <class Use>
    HRESULT WithAllocateFlag(DWORD output, Use use);

    CReaderWorker *const m_worker;
    bool m_userClock = false;  // under the worker's lock
};

}  // namespace posix
