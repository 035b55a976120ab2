// The Windows Media Format runtime's interfaces, records and constants that the library uses: reader,
// writer, writer sinks, profiles, media types. Method order, IIDs and values are the SDK's, so code
// written against the SDK's wmsdk.h compiles and behaves the same here.
#pragma once

#include "asferr.h"
#include "nserror.h"
#include "objidl.h"
#include "unknwn.h"
#include "wmsbuffer.h"

typedef struct _WMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
} WM_MEDIA_TYPE;

typedef struct _WMWriterStatistics {
    QWORD qwSampleCount;
    QWORD qwByteCount;
    QWORD qwDroppedSampleCount;
    QWORD qwDroppedByteCount;
    DWORD dwCurrentBitrate;
    DWORD dwAverageBitrate;
    DWORD dwExpectedBitrate;
    DWORD dwCurrentSampleRate;
    DWORD dwAverageSampleRate;
    DWORD dwExpectedSampleRate;
} WM_WRITER_STATISTICS;

typedef struct _WMWriterStatisticsEx {
    DWORD dwBitratePlusOverhead;
    DWORD dwCurrentSampleDropRateInQueue;
    DWORD dwCurrentSampleDropRateInCodec;
    DWORD dwCurrentSampleDropRateInMultiplexer;
    DWORD dwTotalSampleDropsInQueue;
    DWORD dwTotalSampleDropsInCodec;
    DWORD dwTotalSampleDropsInMultiplexer;
} WM_WRITER_STATISTICS_EX;

typedef struct _WMReaderStatistics {
    DWORD cbSize;
    DWORD dwBandwidth;
    DWORD cPacketsReceived;
    DWORD cPacketsRecovered;
    DWORD cPacketsLost;
    WORD wQuality;
} WM_READER_STATISTICS;

typedef struct _WMReaderClientInfo {
    DWORD cbSize;
    WCHAR *wszLang;
    WCHAR *wszBrowserUserAgent;
    WCHAR *wszBrowserWebPage;
    QWORD qwReserved;
    LPARAM *pReserved;
    WCHAR *wszHostExe;
    QWORD qwHostVersion;
    WCHAR *wszPlayerUserAgent;
} WM_READER_CLIENTINFO;

enum { WM_SF_CLEANPOINT = 0x1, WM_SF_DISCONTINUITY = 0x2, WM_SF_DATALOSS = 0x4 };

// Start time meaning "from where the reader stands".
#define WM_START_CURRENTPOSITION ((QWORD)-1)

typedef enum WMT_ATTR_DATATYPE {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6
} WMT_ATTR_DATATYPE;

typedef enum WMT_STATUS {
    WMT_ERROR = 0,
    WMT_OPENED = 1,
    WMT_BUFFERING_START = 2,
    WMT_BUFFERING_STOP = 3,
    WMT_EOF = 4,
    WMT_END_OF_FILE = 4,
    WMT_END_OF_SEGMENT = 5,
    WMT_END_OF_STREAMING = 6,
    WMT_LOCATING = 7,
    WMT_CONNECTING = 8,
    WMT_NO_RIGHTS = 9,
    WMT_MISSING_CODEC = 10,
    WMT_STARTED = 11,
    WMT_STOPPED = 12,
    WMT_CLOSED = 13,
    WMT_STRIDING = 14,
    WMT_TIMER = 15,
    WMT_INDEX_PROGRESS = 16,
    WMT_SAVEAS_START = 17,
    WMT_SAVEAS_STOP = 18,
    WMT_NEW_SOURCEFLAGS = 19,
    WMT_NEW_METADATA = 20,
    WMT_BACKUPRESTORE_BEGIN = 21,
    WMT_SOURCE_SWITCH = 22,
    WMT_ACQUIRE_LICENSE = 23,
    WMT_INDIVIDUALIZE = 24,
    WMT_NEEDS_INDIVIDUALIZATION = 25,
    WMT_NO_RIGHTS_EX = 26,
    WMT_BACKUPRESTORE_END = 27,
    WMT_BACKUPRESTORE_CONNECTING = 28,
    WMT_BACKUPRESTORE_DISCONNECTING = 29,
    WMT_ERROR_WITHURL = 30,
    WMT_RESTRICTED_LICENSE = 31,
    WMT_CLIENT_CONNECT = 32,
    WMT_CLIENT_DISCONNECT = 33,
    WMT_NATIVE_OUTPUT_PROPS_CHANGED = 34,
    WMT_RECONNECT_START = 35,
    WMT_RECONNECT_END = 36,
    WMT_CLIENT_CONNECT_EX = 37,
    WMT_CLIENT_DISCONNECT_EX = 38,
    WMT_SET_FEC_SPAN = 39,
    WMT_PREROLL_READY = 40,
    WMT_PREROLL_COMPLETE = 41,
    WMT_CLIENT_PROPERTIES = 42,
    WMT_LICENSEURL_SIGNATURE_STATE = 43,
    WMT_INIT_PLAYLIST_BURN = 44,
    WMT_TRANSCRYPTOR_INIT = 45,
    WMT_TRANSCRYPTOR_SEEKED = 46,
    WMT_TRANSCRYPTOR_READ = 47,
    WMT_TRANSCRYPTOR_CLOSED = 48,
    WMT_PROXIMITY_RESULT = 49,
    WMT_PROXIMITY_COMPLETED = 50,
    WMT_CONTENT_ENABLER = 51
} WMT_STATUS;

typedef enum WMT_STREAM_SELECTION { WMT_OFF = 0, WMT_CLEANPOINT_ONLY = 1, WMT_ON = 2 } WMT_STREAM_SELECTION;

typedef enum WMT_VERSION {
    WMT_VER_4_0 = 0x40000,
    WMT_VER_7_0 = 0x70000,
    WMT_VER_8_0 = 0x80000,
    WMT_VER_9_0 = 0x90000
} WMT_VERSION;

typedef enum WMT_PLAY_MODE {
    WMT_PLAY_MODE_AUTOSELECT = 0,
    WMT_PLAY_MODE_LOCAL = 1,
    WMT_PLAY_MODE_DOWNLOAD = 2,
    WMT_PLAY_MODE_STREAMING = 3
} WMT_PLAY_MODE;

// Names of the header attributes the library reads.
inline constexpr WCHAR g_wszWMDuration[] = u"Duration";
inline constexpr WCHAR g_wszWMSeekable[] = u"Seekable";
inline constexpr WCHAR g_wszWMBroadcast[] = u"Broadcast";

struct IWMMutualExclusion;

struct IWMStatusCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE dwType, BYTE *pValue,
                                               void *pvContext) = 0;

protected:
    ~IWMStatusCallback() = default;
};

struct IWMReaderCallback : public IWMStatusCallback {
    virtual HRESULT STDMETHODCALLTYPE OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                                               DWORD dwFlags, INSSBuffer *pSample, void *pvContext) = 0;

protected:
    ~IWMReaderCallback() = default;
};

struct IWMReaderCallbackAdvanced : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnStreamSample(WORD wStreamNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                                                     DWORD dwFlags, INSSBuffer *pSample, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnTime(QWORD cnsCurrentTime, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD wStreamCount, WORD *pStreamNumbers,
                                                        WMT_STREAM_SELECTION *pSelections, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD dwOutputNum, WM_MEDIA_TYPE *pMediaType,
                                                           void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE AllocateForStream(WORD wStreamNum, DWORD cbBuffer, INSSBuffer **ppBuffer,
                                                        void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD dwOutputNum, DWORD cbBuffer, INSSBuffer **ppBuffer,
                                                        void *pvContext) = 0;

protected:
    ~IWMReaderCallbackAdvanced() = default;
};

struct IWMMediaProps : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetType(GUID *pguidType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE *pType, DWORD *pcbType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE *pType) = 0;

protected:
    ~IWMMediaProps() = default;
};

struct IWMOutputMediaProps : public IWMMediaProps {
    virtual HRESULT STDMETHODCALLTYPE GetStreamGroupName(WCHAR *pwszName, WORD *pcchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *pwszName, WORD *pcchName) = 0;

protected:
    ~IWMOutputMediaProps() = default;
};

struct IWMInputMediaProps : public IWMMediaProps {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *pwszName, WORD *pcchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR *pwszName, WORD *pcchName) = 0;

protected:
    ~IWMInputMediaProps() = default;
};

struct IWMStreamConfig : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetStreamType(GUID *pguidStreamType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD *pwStreamNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD wStreamNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR *pwszStreamName, WORD *pcchStreamName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR pwszStreamName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR *pwszInputName, WORD *pcchInputName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR pwszInputName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBitrate(DWORD *pdwBitrate) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBitrate(DWORD pdwBitrate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD *pmsBufferWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD msBufferWindow) = 0;

protected:
    ~IWMStreamConfig() = default;
};

struct IWMProfile : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION *pdwVersion) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(WCHAR *pwszName, DWORD *pcchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetName(const WCHAR *pwszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(WCHAR *pwszDescription, DWORD *pcchDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR *pwszDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD *pcStreams) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStream(DWORD dwStreamIndex, IWMStreamConfig **ppConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD wStreamNum, IWMStreamConfig **ppConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig *pConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD wStreamNum) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig *pConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig *pConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID guidStreamType, IWMStreamConfig **ppConfig) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD *pcME) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD dwMEIndex, IWMMutualExclusion **ppME) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion *pME) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion *pME) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion **ppME) = 0;

protected:
    ~IWMProfile() = default;
};

struct IWMProfileManager : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION dwVersion, IWMProfile **ppProfile) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID guidProfile, IWMProfile **ppProfile) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR *pwszProfile, IWMProfile **ppProfile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile *pIWMProfile, WCHAR *pwszProfile, DWORD *pdwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD *pcProfiles) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD dwProfileIndex, IWMProfile **ppProfile) = 0;

protected:
    ~IWMProfileManager() = default;
};

struct IWMReader : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR *pwszURL, IWMReaderCallback *pCallback, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputCount(DWORD *pcOutputs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps **ppOutput) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputProps(DWORD dwOutputNum, IWMOutputMediaProps *pOutput) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormatCount(DWORD dwOutputNumber, DWORD *pcFormats) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputFormat(DWORD dwOutputNumber, DWORD dwFormatNumber,
                                                      IWMOutputMediaProps **ppProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Resume() = 0;

protected:
    ~IWMReader() = default;
};

struct IWMReaderAdvanced : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetUserProvidedClock(BOOL fUserClock) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserProvidedClock(BOOL *pfUserClock) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeliverTime(QWORD cnsTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetManualStreamSelection(BOOL fSelection) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManualStreamSelection(BOOL *pfSelection) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStreamsSelected(WORD cStreamCount, WORD *pwStreamNumbers,
                                                         WMT_STREAM_SELECTION *pSelections) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamSelected(WORD wStreamNum, WMT_STREAM_SELECTION *pSelection) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReceiveSelectionCallbacks(BOOL fGetCallbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReceiveSelectionCallbacks(BOOL *pfGetCallbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReceiveStreamSamples(WORD wStreamNum, BOOL *pfReceiveStreamSamples) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAllocateForOutput(DWORD dwOutputNum, BOOL fAllocate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocateForOutput(DWORD dwOutputNum, BOOL *pfAllocate) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAllocateForStream(WORD wStreamNum, BOOL fAllocate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAllocateForStream(WORD dwStreamNum, BOOL *pfAllocate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(WM_READER_STATISTICS *pStatistics) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientInfo(WM_READER_CLIENTINFO *pClientInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxOutputSampleSize(DWORD dwOutput, DWORD *pcbMax) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxStreamSampleSize(WORD wStream, DWORD *pcbMax) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyLateDelivery(QWORD cnsLateness) = 0;

protected:
    ~IWMReaderAdvanced() = default;
};

struct IWMReaderAdvanced2 : public IWMReaderAdvanced {
    virtual HRESULT STDMETHODCALLTYPE SetPlayMode(WMT_PLAY_MODE Mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPlayMode(WMT_PLAY_MODE *pMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBufferProgress(DWORD *pdwPercent, QWORD *pcnsBuffering) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDownloadProgress(DWORD *pdwPercent, QWORD *pqwBytesDownloaded,
                                                          QWORD *pcnsDownload) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSaveAsProgress(DWORD *pdwPercent) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveFileAs(const WCHAR *pwszFilename) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProtocolName(WCHAR *pwszProtocol, DWORD *pcchProtocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartAtMarker(WORD wMarkerIndex, QWORD cnsDuration, float fRate,
                                                    void *pvContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE *pType,
                                                       BYTE *pValue, WORD *pcbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                                       const BYTE *pValue, WORD cbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE Preroll(QWORD cnsStart, QWORD cnsDuration, float fRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLogClientID(BOOL fLogClientID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogClientID(BOOL *pfLogClientID) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopBuffering() = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenStream(IStream *pStream, IWMReaderCallback *pCallback, void *pvContext) = 0;

protected:
    ~IWMReaderAdvanced2() = default;
};

struct IWMHeaderInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD wStreamNum, WORD *pcAttributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD wIndex, WORD *pwStreamNum, WCHAR *pwszName,
                                                          WORD *pcchNameLen, WMT_ATTR_DATATYPE *pType, BYTE *pValue,
                                                          WORD *pcbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD *pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE *pType,
                                                         BYTE *pValue, WORD *pcbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                                   const BYTE *pValue, WORD cbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD *pcMarkers) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarker(WORD wIndex, WCHAR *pwszMarkerName, WORD *pcchMarkerNameLen,
                                                QWORD *pcnsMarkerTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR pwszMarkerName, QWORD cnsMarkerTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveMarker(WORD wIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScriptCount(WORD *pcScripts) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScript(WORD wIndex, WCHAR *pwszType, WORD *pcchTypeLen, WCHAR *pwszCommand,
                                                WORD *pcchCommandLen, QWORD *pcnsScriptTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveScript(WORD wIndex) = 0;

protected:
    ~IWMHeaderInfo() = default;
};

struct IWMWriterSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer *pHeader) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *pfRealTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD cbDataUnit, INSSBuffer **ppDataUnit) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer *pDataUnit) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEndWriting() = 0;

protected:
    ~IWMWriterSink() = default;
};

#include "platform/wmfilesink.h"

struct IWMWriter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID guidProfile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile *pProfile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR *pwszFilename) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputCount(DWORD *pcInputs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputProps(DWORD dwInputNum, IWMInputMediaProps **ppInput) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInputProps(DWORD dwInputNum, IWMInputMediaProps *pInput) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD dwInputNumber, DWORD *pcFormats) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD dwInputNumber, DWORD dwFormatNumber,
                                                     IWMInputMediaProps **pProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginWriting() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndWriting() = 0;
    virtual HRESULT STDMETHODCALLTYPE AllocateSample(DWORD dwSampleSize, INSSBuffer **ppSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteSample(DWORD dwInputNum, QWORD cnsSampleTime, DWORD dwFlags,
                                                  INSSBuffer *pSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE Flush() = 0;

protected:
    ~IWMWriter() = default;
};

struct IWMWriterAdvanced : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSinkCount(DWORD *pcSinks) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSink(DWORD dwSinkNum, IWMWriterSink **ppSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSink(IWMWriterSink *pSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveSink(IWMWriterSink *pSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD msSampleSendTime,
                                                        QWORD cnsSampleDuration, DWORD dwFlags,
                                                        INSSBuffer *pSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLiveSource(BOOL fIsLiveSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *pfRealTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWriterTime(QWORD *pCurrentTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(WORD wStreamNum, WM_WRITER_STATISTICS *pStats) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncTolerance(DWORD msWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSyncTolerance(DWORD *pmsWindow) = 0;

protected:
    ~IWMWriterAdvanced() = default;
};

struct IWMWriterAdvanced2 : public IWMWriterAdvanced {
    virtual HRESULT STDMETHODCALLTYPE GetInputSetting(DWORD dwInputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE *pType,
                                                      BYTE *pValue, WORD *pcbLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInputSetting(DWORD dwInputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                                      const BYTE *pValue, WORD cbLength) = 0;

protected:
    ~IWMWriterAdvanced2() = default;
};

struct IWMWriterAdvanced3 : public IWMWriterAdvanced2 {
    virtual HRESULT STDMETHODCALLTYPE GetStatisticsEx(WORD wStreamNum, WM_WRITER_STATISTICS_EX *pStats) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNonBlocking() = 0;

protected:
    ~IWMWriterAdvanced3() = default;
};

// The runtime's factories; a certificate is never needed here.
HRESULT WMCreateReader(IUnknown *pUnkCert, DWORD dwRights, IWMReader **ppReader);
HRESULT WMCreateWriter(IUnknown *pUnkCert, IWMWriter **ppWriter);
HRESULT WMCreateWriterFileSink(IWMWriterFileSink **ppSink);
HRESULT WMCreateProfileManager(IWMProfileManager **ppProfileManager);

DEFINE_GUID(IID_IWMStatusCallback, 0x6d7cdc70, 0x9888, 0x11d3, 0x8e, 0xdc, 0x00, 0xc0, 0x4f, 0x61, 0x09, 0xcf);
DEFINE_GUID(IID_IWMReaderCallback, 0x96406bd8, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMReaderCallbackAdvanced, 0x96406beb, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMStreamConfig, 0x96406bdc, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMProfile, 0x96406bdb, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMProfileManager, 0xd16679f2, 0x6ca0, 0x472d, 0x8d, 0x31, 0x2f, 0x5d, 0x55, 0xae, 0xe1, 0x55);
DEFINE_GUID(IID_IWMMediaProps, 0x96406bce, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMOutputMediaProps, 0x96406bd7, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMInputMediaProps, 0x96406bd5, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMReader, 0x96406bd6, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMReaderAdvanced, 0x96406bea, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMReaderAdvanced2, 0xae14a945, 0xb90c, 0x4d0d, 0x91, 0x27, 0x80, 0xd6, 0x65, 0xf7, 0xd7, 0x3e);
DEFINE_GUID(IID_IWMHeaderInfo, 0x96406bda, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMWriterSink, 0x96406be4, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMWriterFileSink, 0x96406be5, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMWriterFileSink2, 0x14282ba7, 0x4aef, 0x4205, 0x8c, 0xe5, 0xc2, 0x29, 0x03, 0x5a, 0x05, 0xbc);
DEFINE_GUID(IID_IWMWriter, 0x96406bd4, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMWriterAdvanced, 0x96406be3, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff);
DEFINE_GUID(IID_IWMWriterAdvanced2, 0x962dc1ec, 0xc046, 0x4db8, 0x9c, 0xc7, 0x26, 0xce, 0xae, 0x50, 0x08, 0x17);
DEFINE_GUID(IID_IWMWriterAdvanced3, 0x2cd6492d, 0x7c37, 0x4e76, 0x9d, 0x3b, 0x59, 0x26, 0x11, 0x83, 0xa2, 0x2e);

// Media types: a major type, a subtype (wave format tag in the first field for audio) and the type
// of the format block.
DEFINE_GUID(WMMEDIATYPE_Audio, 0x73647561, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIATYPE_Video, 0x73646976, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIASUBTYPE_Base, 0x00000000, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIASUBTYPE_PCM, 0x00000001, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIASUBTYPE_MP3, 0x00000055, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIASUBTYPE_WMAudioV8, 0x00000161, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMMEDIASUBTYPE_WMAudioV9, 0x00000162, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(WMFORMAT_VideoInfo, 0x05589f80, 0xc356, 0x11ce, 0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a);
DEFINE_GUID(WMFORMAT_WaveFormatEx, 0x05589f81, 0xc356, 0x11ce, 0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a);
