// The writer's inputs: what GetInputProps hands out is a copy, and only SetInputProps changes the
// input, as Windows documents it.
#include "writer_support.h"

namespace {

// The input's format as a fresh properties object reports it.
WAVEFORMATEX InputFormat(IWMWriter *writer) {
    WAVEFORMATEX format = {};
    IWMInputMediaProps *props = nullptr;
    if (FAILED(writer->GetInputProps(0, &props))) return format;
    EditFormat(props, [&](WAVEFORMATEX *record) { std::memcpy(&format, record, 16); });
    props->Release();
    return format;
}

TEST(WriterInput, PropsAreCopiesCommittedOnlyBySetInputProps) {
    IWMWriter *writer = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    HRESULT hr = SetProfileFrom(writer, ReadText(kRealWorldProfile));
    SKIP_IF_WINE_STUB(hr);
    ASSERT_EQ(hr, S_OK);
    const WAVEFORMATEX profileInput = InputFormat(writer);
    const WAVEFORMATEX capture = PcmFormat(1, 8000, 8);
    ASSERT_NE(DWORD(profileInput.nSamplesPerSec), DWORD(capture.nSamplesPerSec));

    IWMInputMediaProps *first = nullptr, *second = nullptr;
    ASSERT_EQ(writer->GetInputProps(0, &first), S_OK);
    ASSERT_EQ(writer->GetInputProps(0, &second), S_OK);
    EXPECT_NE(first, second) << "each call hands out its own object";
    second->Release();
    ASSERT_EQ(EditFormat(first, [&](WAVEFORMATEX *record) { std::memcpy(record, &capture, 16); }), S_OK);

    struct Step {
        const char *what;
        bool commit;
        DWORD rate;
    };
    for (const Step &step : {Step{"changed on the copy alone", false, profileInput.nSamplesPerSec},
                             Step{"handed back with SetInputProps", true, capture.nSamplesPerSec}}) {
        SCOPED_TRACE(step.what);
        if (step.commit) {
            ASSERT_EQ(writer->SetInputProps(0, first), S_OK);
        }
        const WAVEFORMATEX now = InputFormat(writer);
        EXPECT_EQ(DWORD(now.nSamplesPerSec), step.rate);
    }
    EXPECT_EQ(writer->SetInputProps(99, first), E_INVALIDARG) << "no such input";
    first->Release();
    writer->Release();
}

}  // namespace
