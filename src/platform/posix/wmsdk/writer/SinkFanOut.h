// The writer's sinks while it writes: every header and data unit goes to each of them. A sink's
// failure is reported to the writer's caller but keeps no other sink from its share.
#pragma once

#include <vector>

#include "ComPtr.h"
#include "wmsdk.h"

namespace posix {

class CSinkFanOut {
public:
    explicit CSinkFanOut(std::vector<ComPtr<IWMWriterSink>> sinks) : m_sinks(std::move(sinks)) {}

    HRESULT Header(const std::vector<BYTE> &header);
    // In a buffer from the sink's AllocateDataUnit, or one of the writer's when the sink has none.
    HRESULT DataUnit(const BYTE *data, DWORD size);
    // To the sinks that take the final header (the file sink).
    HRESULT FinalHeader(const std::vector<BYTE> &header);
    HRESULT End();

private:
    std::vector<ComPtr<IWMWriterSink>> m_sinks;
};

}  // namespace posix
