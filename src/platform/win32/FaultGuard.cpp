// Fault guards for GCC on Windows, which has no __try: a vectored exception handler sends a machine
// fault raised inside a guard to that guard's recovery point, a __builtin_setjmp in the guard's frame.
#include "platform/win32/FaultGuard.h"

#include <cstdint>

#include "platform/platform.h"

#if !defined(__x86_64__) && !defined(__i386__)
#error "fault guards are written for i686 and x86_64"
#endif

namespace {

struct GuardFrame {
    void *jump[5];          // __builtin_setjmp buffer
    GuardFrame *outer;      // the enclosing guard of the same thread, or null
    uintptr_t resumeStack;  // stack pointer for the recovery stub, below the guard's own frame
#ifdef __i386__
    void *sehChain;  // fs:[0] at guard entry: frames the fault abandons may have pushed records
#endif
    volatile DWORD code;
};

// Room left between the guard's stack pointer and the recovery stub's, for the guard's outgoing
// arguments and the stub's own home area.
const uintptr_t kResumeStackGap = 256;

INIT_ONCE g_installOnce = INIT_ONCE_STATIC_INIT;
DWORD g_frameSlot = TLS_OUT_OF_INDEXES;
PVOID g_handler = nullptr;

bool IsFloatFault(DWORD code) {
    switch (code) {
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case STATUS_FLOAT_MULTIPLE_FAULTS:
    case STATUS_FLOAT_MULTIPLE_TRAPS: return true;
    default: return false;
    }
}

// Faults the processor raises for the running code. Software exceptions (debug output, breakpoints,
// C++ throws, the host's own codes) belong to whoever handles them.
bool IsMachineFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_STACK_OVERFLOW: return true;
    default: return IsFloatFault(code);
    }
}

GuardFrame *InnermostGuard() {
    // The handler runs in the faulting thread's context: leave its last-error value as it was.
    DWORD lastError = GetLastError();
    auto *frame = static_cast<GuardFrame *>(TlsGetValue(g_frameSlot));
    SetLastError(lastError);
    return frame;
}

// The recovery stub: entered from the handler's rewritten context with the frame in a register
// (rcx is the first argument on x64, ecx that of fastcall on x86) and a fresh, aligned stack.
#ifdef __x86_64__
[[noreturn]] __attribute__((noinline)) void ResumeGuard(GuardFrame *frame) { __builtin_longjmp(frame->jump, 1); }
#else
[[noreturn]] __attribute__((noinline, fastcall)) void ResumeGuard(GuardFrame *frame) {
    __asm__ volatile("movl %0, %%fs:0" : : "r"(frame->sehChain) : "memory");
    __builtin_longjmp(frame->jump, 1);
}
#endif

LONG CALLBACK OnException(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (!IsMachineFault(record->ExceptionCode) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return EXCEPTION_CONTINUE_SEARCH;
    GuardFrame *frame = InnermostGuard();
    if (!frame) return EXCEPTION_CONTINUE_SEARCH;
    frame->code = record->ExceptionCode;
    CONTEXT *context = info->ContextRecord;
#ifdef __x86_64__
    context->Rcx = reinterpret_cast<DWORD64>(frame);
    context->Rsp = frame->resumeStack;
    context->Rip = reinterpret_cast<DWORD64>(&ResumeGuard);
#else
    context->Ecx = reinterpret_cast<DWORD>(frame);
    context->Esp = frame->resumeStack;
    context->Eip = reinterpret_cast<DWORD>(&ResumeGuard);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK Install(PINIT_ONCE, PVOID, PVOID *) {
    g_frameSlot = TlsAlloc();
    if (g_frameSlot == TLS_OUT_OF_INDEXES) return FALSE;
    // Appended after any handler the host installed, so those still see faults first.
    g_handler = AddVectoredExceptionHandler(0, OnException);
    if (g_handler) return TRUE;
    TlsFree(g_frameSlot);
    g_frameSlot = TLS_OUT_OF_INDEXES;
    return FALSE;
}

__attribute__((noinline)) DWORD RunCatchingThrows(void (*fn)(void *), void *arg) {
    try {
        fn(arg);
        return 0;
    } catch (...) {
        return PLATFORM_CPP_EXCEPTION_CODE;
    }
}

__attribute__((always_inline)) inline uintptr_t StackPointer() {
    uintptr_t sp;
#ifdef __x86_64__
    __asm__ volatile("movq %%rsp, %0" : "=r"(sp));
#else
    __asm__ volatile("movl %%esp, %0" : "=r"(sp));
#endif
    return sp;
}

// The x87 registers the abandoned code left in use would overflow the register stack later; the
// host's control word stays. After a float fault the SSE sticky flags go too.
void ResetFloatingPoint(DWORD code) {
    unsigned short control;
    __asm__ volatile("fnstcw %0\n\tfninit\n\tfldcw %0" : "=m"(control));
    if (!IsFloatFault(code)) return;
#ifdef __i386__
    if (!IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) return;
#endif
    unsigned int mxcsr;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~0x3Fu;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

// After a stack overflow the thread has lost its guard page; without a new one the next overflow
// would end the process. The lowest committed page of the stack becomes the guard page again.
void RearmStackGuard() {
    MEMORY_BASIC_INFORMATION info{};
    auto *here = reinterpret_cast<char *>(&info);
    if (!VirtualQuery(here, &info, sizeof info)) return;
    auto *page = static_cast<char *>(info.AllocationBase);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    while (page < here && VirtualQuery(page, &info, sizeof info)) {
        if (info.State == MEM_COMMIT) {
            if (info.Protect & PAGE_GUARD) return;
            if (!(info.Protect & PAGE_NOACCESS)) {
                DWORD old;
                if (page + 2 * system.dwPageSize < here)
                    VirtualProtect(page, system.dwPageSize, PAGE_READWRITE | PAGE_GUARD, &old);
                return;
            }
        }
        page = static_cast<char *>(info.BaseAddress) + info.RegionSize;
    }
}

}  // namespace

DWORD PlatformRunGuarded(void (*fn)(void *), void *arg) {
    // Without the handler only C++ exceptions can be caught.
    if (!InitOnceExecuteOnce(&g_installOnce, Install, nullptr, nullptr)) return RunCatchingThrows(fn, arg);

    GuardFrame frame;
    frame.outer = static_cast<GuardFrame *>(TlsGetValue(g_frameSlot));
    frame.code = 0;
#ifdef __x86_64__
    // As after a call: rsp + 8 is 16-byte aligned at the stub's entry.
    frame.resumeStack = ((StackPointer() - kResumeStackGap) & ~uintptr_t(15)) - 8;
#else
    frame.resumeStack = ((StackPointer() - kResumeStackGap) & ~uintptr_t(15)) - 4;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(frame.sehChain));
#endif
    if (__builtin_setjmp(frame.jump) == 0) {
        TlsSetValue(g_frameSlot, &frame);
        frame.code = RunCatchingThrows(fn, arg);
    } else {
        ResetFloatingPoint(frame.code);
        if (frame.code == EXCEPTION_STACK_OVERFLOW) RearmStackGuard();
    }
    TlsSetValue(g_frameSlot, frame.outer);
    return frame.code;
}

void PlatformReleaseFaultGuards() {
    if (g_handler) {
        RemoveVectoredExceptionHandler(g_handler);
        g_handler = nullptr;
    }
    if (g_frameSlot != TLS_OUT_OF_INDEXES) {
        TlsFree(g_frameSlot);
        g_frameSlot = TLS_OUT_OF_INDEXES;
    }
}
