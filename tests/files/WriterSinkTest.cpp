// The writer sink: its callback per writer notification, where each stream begins and ends, the data units it lends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "files/SampleBuffer.h"
#include "files/WriterSink.h"

namespace {

// "code:bytes:isHeader" for each callback.
void WINAPI Record(DWORD_PTR user, DWORD code, const BYTE *data, LONG length, BOOL isHeader) {
    const std::string bytes = data ? std::string(reinterpret_cast<const char *>(data), size_t(length)) : "";
    reinterpret_cast<std::vector<std::string> *>(user)->push_back(std::to_string(code) + ":" + bytes + ":" +
                                                                  std::to_string(isHeader));
}

// A standalone buffer holding the text.
INSSBuffer *Buffer(const char *text) {
    CSampleBuffer *buffer = new CSampleBuffer(nullptr);
    buffer->SetCapacity(DWORD(strlen(text)));
    BYTE *data = nullptr;
    buffer->GetBuffer(&data);
    memcpy(data, text, strlen(text));
    buffer->SetLength(DWORD(strlen(text)));
    return buffer;
}

TEST(WriterSink, MarksEachStreamsStartAndEndAroundItsBytesAndLendsUnitsOfTheSizeAsked) {
    // H: header, D: data unit, E: end of writing, B: NotifyBegin(1), C: set the callback.
    const struct Case {
        const char *what;
        std::vector<std::pair<char, const char *>> steps;
        std::vector<std::string> raised;
    } cases[] = {
        {"one stream",
         {{'C', nullptr}, {'B', nullptr}, {'H', "h1"}, {'H', "h2"}, {'D', "d1"}, {'D', "d2"}, {'E', nullptr}},
         {"1::0", "3::0", "4:h1:1", "4:h2:1", "4:d1:0", "4:d2:0", "5::0"}},
        {"the next stream starts anew",
         {{'C', nullptr}, {'H', "a"}, {'E', nullptr}, {'H', "b"}, {'D', "c"}, {'E', nullptr}},
         {"3::0", "4:a:1", "5::0", "3::0", "4:b:1", "4:c:0", "5::0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> raised;
        CWriterSink *sink = new CWriterSink;
        for (const auto &step : c.steps) {
            INSSBuffer *buffer = step.second ? Buffer(step.second) : nullptr;
            switch (step.first) {
            case 'H': EXPECT_EQ(sink->OnHeader(buffer), S_OK); break;
            case 'D': EXPECT_EQ(sink->OnDataUnit(buffer), S_OK); break;
            case 'E': EXPECT_EQ(sink->OnEndWriting(), S_OK); break;
            case 'B': sink->NotifyBegin(1); break;
            case 'C': sink->SetCallback(&Record, reinterpret_cast<DWORD_PTR>(&raised)); break;
            }
            if (buffer) buffer->Release();
        }
        EXPECT_EQ(raised, c.raised);
        // The data units it lends hold exactly the size asked, and it is no file sink.
        INSSBuffer *unit = nullptr;
        ASSERT_EQ(sink->AllocateDataUnit(3200, &unit), S_OK);
        DWORD capacity = 0;
        unit->GetMaxLength(&capacity);
        EXPECT_EQ(capacity, 3200u);
        EXPECT_EQ(unit->Release(), 0u);
        void *object = sink;
        EXPECT_EQ(sink->QueryInterface(IID_IWMWriterFileSink, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(sink->Release(), 0u);
    }
}

}  // namespace
