// Loads Brivane.dll, resolves its exports and watches its debug output; the unload checks no exception handler stays.
#include "HostLibrary.h"

#include <gtest/gtest.h>

#include <cstring>

#include "HostHarness.h"

namespace {

HMODULE g_module = nullptr;
BrivaneExports g_exports;
HostMutex g_linesLock;
std::vector<std::string> g_lines;

// OutputDebugStringA raises this exception with the text; the host sees it before the system does.
LONG CALLBACK CaptureDebugLine(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 &&
        record->ExceptionInformation[1]) {
        std::lock_guard<HostMutex> guard(g_linesLock);
        g_lines.emplace_back(reinterpret_cast<const char *>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

volatile LONG g_accessViolationsSeen = 0;
LONG CALLBACK ContinueAccessViolation(EXCEPTION_POINTERS *info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&g_accessViolationsSeen);
    return EXCEPTION_CONTINUE_EXECUTION;
}

class HostEnvironment : public testing::Environment {
public:
    void SetUp() override {
        m_capture = AddVectoredExceptionHandler(1, CaptureDebugLine);
        // A bare name is looked for in the host's own directory first.
        g_module = LoadLibraryW(L"Brivane.dll");
        ASSERT_NE(g_module, nullptr) << "LoadLibraryW failed: " << GetLastError();
        ResolveExports(g_module, g_exports);
    }

    void TearDown() override {
        RemoveVectoredExceptionHandler(m_capture);
        if (!g_module) return;
        // Appended after the library's handler, which, left registered, would run unmapped code before reaching ours.
        PVOID after = AddVectoredExceptionHandler(0, ContinueAccessViolation);
        EXPECT_TRUE(FreeLibrary(g_module));
        g_module = nullptr;
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
        EXPECT_EQ(g_accessViolationsSeen, 1);
        RemoveVectoredExceptionHandler(after);
    }

private:
    PVOID m_capture = nullptr;
};

testing::Environment *const g_environment = testing::AddGlobalTestEnvironment(new HostEnvironment);

}  // namespace

void ResolveExports(HMODULE module, BrivaneExports &exports) {
#define BRIVANE_EXPORT_RESOLVE(name)                                                                                 \
    exports.name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void (*)()>(GetProcAddress(module, #name))); \
    ASSERT_NE(exports.name, nullptr) << #name;
    BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_RESOLVE)
#undef BRIVANE_EXPORT_RESOLVE
}

const BrivaneExports &Brivane() { return g_exports; }

size_t CountDebugLines(const char *prefix) {
    std::lock_guard<HostMutex> guard(g_linesLock);
    size_t count = 0;
    for (const std::string &seen : g_lines) count += seen.compare(0, strlen(prefix), prefix) == 0;
    return count;
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
