// Loads Brivane.dll from the host's own directory, resolves its exports and watches its debug output;
// unloading it at the end checks that the library leaves no exception handler behind.
#include "HostLibrary.h"

#include "HostHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

HMODULE g_module = nullptr;
BrivaneExports g_exports;

CRITICAL_SECTION g_linesLock;
std::vector<std::string> g_lines;

// OutputDebugStringA raises 0x40010006 with the text; the host sees it before the system does.
LONG CALLBACK CaptureDebugLine(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (record->ExceptionCode == 0x40010006u && record->NumberParameters >= 2 && record->ExceptionInformation[1]) {
        EnterCriticalSection(&g_linesLock);
        g_lines.emplace_back(reinterpret_cast<const char *>(record->ExceptionInformation[1]));
        LeaveCriticalSection(&g_linesLock);
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
        InitializeCriticalSection(&g_linesLock);
        m_capture = AddVectoredExceptionHandler(1, CaptureDebugLine);

        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        std::wstring dll(path, length);
        dll.resize(dll.find_last_of(L"\\/") + 1);
        dll += L"Brivane.dll";
        g_module = LoadLibraryW(dll.c_str());
        ASSERT_NE(g_module, nullptr) << "LoadLibraryW failed: " << GetLastError();
#define BRIVANE_EXPORT_RESOLVE(name)                                                                        \
    g_exports.name =                                                                                        \
        reinterpret_cast<decltype(&::name)>(reinterpret_cast<void (*)()>(GetProcAddress(g_module, #name))); \
    ASSERT_NE(g_exports.name, nullptr) << #name;
        BRIVANE_EXPORT_LIST(BRIVANE_EXPORT_RESOLVE)
#undef BRIVANE_EXPORT_RESOLVE
    }

    void TearDown() override {
        RemoveVectoredExceptionHandler(m_capture);
        if (!g_module) return;
        // Appended after the library's fault handler: were that handler left registered after the
        // unload, this access violation would run unmapped code before reaching ours.
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

const BrivaneExports &Brivane() { return g_exports; }

size_t CountDebugLines(const char *prefix) {
    EnterCriticalSection(&g_linesLock);
    size_t count = 0;
    for (const std::string &seen : g_lines) count += seen.compare(0, strlen(prefix), prefix) == 0;
    LeaveCriticalSection(&g_linesLock);
    return count;
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
