// Fault guards: what they catch, whom they report to, and what they leave alone.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "platform/platform.h"

namespace {

void Return(void *) {}
void Throw(void *) { throw std::runtime_error("thrown inside a guard"); }

TEST(FaultGuard, CppExceptionIsReportedAndNormalReturnIsZero) {
    EXPECT_EQ(PlatformRunGuarded(Throw, nullptr), PLATFORM_CPP_EXCEPTION_CODE);
    EXPECT_EQ(PlatformRunGuarded(Return, nullptr), 0u);
}

#ifdef _WIN32

volatile int g_zero = 0;
volatile int g_sink = 0;
volatile int *volatile g_null = nullptr;

void WriteNull(void *) { *g_null = 1; }
void DivideByZero(void *) { g_sink = 100 / g_zero; }

volatile int g_bottomless = -1;
__attribute__((noinline)) int Recurse(int depth) {
    if (depth == g_bottomless) return 0;
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + pad[0];
}
void OverflowStack(void *) { (void)Recurse(0); }

DWORD g_innerCode;
void DivideInsideGuardThenWriteNull(void *) {
    g_innerCode = PlatformRunGuarded(DivideByZero, nullptr);
    WriteNull(nullptr);
}

// Each fault twice, then a normal call: a caught fault leaves the thread's guards as they were.
DWORD WINAPI FaultTwiceThenReturn(LPVOID fn) {
    auto fault = reinterpret_cast<void (*)(void *)>(fn);
    DWORD first = PlatformRunGuarded(fault, nullptr);
    DWORD second = PlatformRunGuarded(fault, nullptr);
    return first == second && PlatformRunGuarded(Return, nullptr) == 0 ? first : 1;
}

TEST(FaultGuard, MachineFaultsAreCaughtWithTheirCodesByTheInnermostGuard) {
    const struct {
        const char *what;
        void (*fn)(void *);
        DWORD code;
    } rows[] = {
        {"stack overflow, caught again after the first", OverflowStack, 0xC00000FDu},
        {"a fault after an inner guard caught another: the outer guard's", DivideInsideGuardThenWriteNull, 0xC0000005u},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        // A small stack keeps the overflow quick.
        HANDLE thread = CreateThread(nullptr, 256 * 1024, FaultTwiceThenReturn, reinterpret_cast<LPVOID>(row.fn),
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        ASSERT_NE(thread, nullptr);
        ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        EXPECT_EQ(code, row.code);
    }
    EXPECT_EQ(g_innerCode, 0xC0000094u) << "the inner guard reports its own fault";
}

// A host handler installed after the guards' own sees everything they pass on.
const char kLine[] = "fault guard test line";
const DWORD kHostCode = 0xE0001234u;
volatile LONG g_hostSaw = 0;
LONG CALLBACK HostHandler(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *r = info->ExceptionRecord;
    bool ours = r->ExceptionCode == kHostCode || r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION ||
                (r->ExceptionCode == 0x40010006u && r->NumberParameters >= 2 &&
                 strcmp(reinterpret_cast<const char *>(r->ExceptionInformation[1]), kLine) == 0);
    if (!ours) return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&g_hostSaw);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void PrintDebugLine(void *) { OutputDebugStringA(kLine); }
void RaiseHostCode(void *) { RaiseException(kHostCode, 0, 0, nullptr); }
void RaiseAccessViolation(void *) { RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); }
// events[0]: the thread is inside its guard; events[1]: it may leave.
void WaitInsideGuard(void *events) {
    SetEvent(static_cast<HANDLE *>(events)[0]);
    WaitForSingleObject(static_cast<HANDLE *>(events)[1], INFINITE);
}
DWORD WINAPI ParkInGuard(LPVOID events) { return PlatformRunGuarded(WaitInsideGuard, events); }

TEST(FaultGuard, SoftwareExceptionsAndFaultsOutsideGuardsReachTheHost) {
    PlatformRunGuarded(Return, nullptr);  // the guards' handler goes first
    PVOID host = AddVectoredExceptionHandler(0, HostHandler);
    // A guard open on another thread must not take this thread's fault.
    HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE parked = CreateThread(nullptr, 0, ParkInGuard, events, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(events[0], 5000), WAIT_OBJECT_0);

    EXPECT_EQ(PlatformRunGuarded(PrintDebugLine, nullptr), 0u);
    EXPECT_EQ(PlatformRunGuarded(RaiseHostCode, nullptr), 0u);
    RaiseAccessViolation(nullptr);
    EXPECT_EQ(g_hostSaw, 3);

    SetEvent(events[1]);
    EXPECT_EQ(WaitForSingleObject(parked, 5000), WAIT_OBJECT_0);
    CloseHandle(parked);
    for (HANDLE event : events) CloseHandle(event);
    RemoveVectoredExceptionHandler(host);
}

#endif  // _WIN32

}  // namespace
