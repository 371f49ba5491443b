// Hardware faults reach the filters as exceptions, with the platform's codes
// and parameters, and the program goes on after them.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <thread>

// Faults on purpose: the undefined-behaviour sanitizer must not stop them first.
#define FAULTS_ON_PURPOSE __declspec(noinline) __attribute__((no_sanitize("undefined")))

namespace {

FAULTS_ON_PURPOSE void read_at(uintptr_t address) {
    volatile int value = *reinterpret_cast<volatile int *>(address);
    (void)value;
}
FAULTS_ON_PURPOSE void write_at(uintptr_t address) { *reinterpret_cast<volatile int *>(address) = 1; }

struct Seen {
    DWORD code = 0, count = 0;
    ULONG_PTR info[2] = {~0ul, ~0ul};
    uintptr_t where = 0;
    bool handled = false;
};

Seen probe(void (*fault)(uintptr_t), uintptr_t address) {
    Seen s;
    EXCEPTION_RECORD *r;
    __try {
        fault(address);
    } __except (r = GetExceptionInformation()->ExceptionRecord, s.code = r->ExceptionCode,
                s.count = r->NumberParameters, s.info[0] = r->ExceptionInformation[0],
                s.info[1] = r->ExceptionInformation[1], s.where = uintptr_t(r->ExceptionAddress),
                EXCEPTION_EXECUTE_HANDLER) {
        s.handled = true;
    }
    return s;
}

// True when `where` lies in the first bytes of `fn`, the faulting function.
bool inside(uintptr_t where, void (*fn)(uintptr_t)) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(fn) & ~uintptr_t(1);
    return where >= start && where < start + 512;
}

TEST(Faults, ReadsAndWritesThroughBadPointersAreAccessViolations) {
    for (uintptr_t address : {uintptr_t(0), uintptr_t(0x40)}) {
        Seen s = probe(read_at, address);
        EXPECT_TRUE(s.handled);
        EXPECT_EQ(s.code, STATUS_ACCESS_VIOLATION);
        ASSERT_EQ(s.count, 2u);
        EXPECT_EQ(s.info[0], 0u) << "a read";
        EXPECT_EQ(s.info[1], address);
        EXPECT_TRUE(inside(s.where, read_at));

        s = probe(write_at, address);
        EXPECT_EQ(s.code, STATUS_ACCESS_VIOLATION);
        ASSERT_EQ(s.count, 2u);
        EXPECT_EQ(s.info[0], 1u) << "a write";
        EXPECT_EQ(s.info[1], address);
        EXPECT_TRUE(inside(s.where, write_at));
    }
}

void store_around_fault(int *target, std::string *t) {
    __try {
        *target = 1;
        read_at(0);
        *target = 2;
    } __finally {
        *t += AbnormalTermination() ? "unwound " : "normal ";
    }
}

TEST(Faults, FaultUnwindsTheFaultingFunctionAndRepeats) {
    int target = 0;
    std::string t;
    for (int i = 0; i < 100; ++i) {
        __try {
            store_around_fault(&target, &t);
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            t += "h ";
        }
        if (t != "unwound h ") break;
        t.clear();
    }
    EXPECT_EQ(t, "");
    EXPECT_EQ(target, 1);
}

TEST(Faults, ContinueExecutionRetriesTheFaultingInstruction) {
    const long page = sysconf(_SC_PAGESIZE);
    void *mem = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    int filters = 0;
    __try {
        write_at(uintptr_t(mem));
    } __except (++filters, mprotect(mem, page, PROT_READ | PROT_WRITE) == 0 ? EXCEPTION_CONTINUE_EXECUTION
                                                                            : EXCEPTION_EXECUTE_HANDLER) {
        filters += 100;
    }
    EXPECT_EQ(filters, 1);
    EXPECT_EQ(*static_cast<int *>(mem), 1);
    munmap(mem, page);
}

// A filter that faults while the search for an earlier fault runs.
int faulting_filter(std::string *t) {
    __try {
        read_at(0);
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        *t += "inner ";
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

TEST(Faults, FilterMayFaultAndHandleItsOwnFault) {
    std::string t;
    __try {
        write_at(0);
    } __except (faulting_filter(&t)) {
        t += "outer";
    }
    EXPECT_EQ(t, "inner outer");
}

__declspec(noinline) void illegal_instruction(uintptr_t) {
#if defined(__aarch64__)
    __asm__ volatile("udf #0");  // __builtin_trap is brk here: a breakpoint
#else
    __builtin_trap();
#endif
}

#if defined(__x86_64__)  // elsewhere integer division by zero does not trap
FAULTS_ON_PURPOSE void divide_by_zero(uintptr_t zero) {
    volatile int dividend = 1, quotient = dividend / int(zero);
    (void)quotient;
}
#endif

TEST(Faults, IllegalInstructionAndDivideByZero) {
    Seen s = probe(illegal_instruction, 0);
    EXPECT_TRUE(s.handled);
    EXPECT_EQ(s.code, STATUS_ILLEGAL_INSTRUCTION);
    EXPECT_TRUE(inside(s.where, illegal_instruction));
#if defined(__x86_64__)
    s = probe(divide_by_zero, 0);
    EXPECT_TRUE(s.handled);
    EXPECT_EQ(s.code, STATUS_INTEGER_DIVIDE_BY_ZERO);
#endif
}

// Filters run on the faulting thread's own stack, as on the platform: one
// may need far more stack than a signal handler has.
__declspec(noinline) int big_filter(uintptr_t *where) {
    volatile char buffer[300 * 1024];
    for (size_t i = 0; i < sizeof buffer; i += 1024) buffer[i] = 1;
    *where = uintptr_t(&buffer[0]);
    return EXCEPTION_EXECUTE_HANDLER;
}

void fault_with_big_filter(bool *handled, uintptr_t *where) {
    __try {
        write_at(0);
    } __except (big_filter(where)) {
        *handled = true;
    }
}

bool on_own_stack(uintptr_t address) {
    pthread_attr_t attr;
    void *low = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    return address >= uintptr_t(low) && address < uintptr_t(low) + size;
}

TEST(Faults, FiltersRunOnTheFaultingThreadsStack) {
    bool handled = false;
    uintptr_t where = 0;
    fault_with_big_filter(&handled, &where);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(on_own_stack(where));
    bool thread_handled = false, thread_own = false;
    std::thread([&] {
        uintptr_t at = 0;
        fault_with_big_filter(&thread_handled, &at);
        thread_own = on_own_stack(at);
    }).join();
    EXPECT_TRUE(thread_handled);
    EXPECT_TRUE(thread_own);
}

// Continuing execution resumes with the registers of the CONTEXT as the
// filter left them: here the base register of the faulting load.
#if defined(__x86_64__)
FAULTS_ON_PURPOSE int load_through_base(const int *p) {
    int v;
    __asm__ volatile("movl (%%rbx), %%eax" : "=a"(v) : "b"(p) : "memory");
    return v;
}
void point_base_at(CONTEXT *c, const int *good) { c->Rbx = uintptr_t(good); }
#elif defined(__aarch64__)
FAULTS_ON_PURPOSE int load_through_base(const int *p) {
    register const int *base __asm__("x9") = p;
    int v;
    __asm__ volatile("ldr %w0, [x9]" : "=r"(v) : "r"(base) : "memory");
    return v;
}
void point_base_at(CONTEXT *c, const int *good) { c->X9 = uintptr_t(good); }
#else
FAULTS_ON_PURPOSE int load_through_base(const int *p) {
    register const int *base __asm__("r4") = p;
    int v;
    __asm__ volatile("ldr %0, [r4]" : "=r"(v) : "r"(base) : "memory");
    return v;
}
void point_base_at(CONTEXT *c, const int *good) { c->R4 = DWORD(uintptr_t(good)); }
#endif

TEST(Faults, ContinueExecutionResumesWithTheContextsRegisters) {
    static const int good = 42;
    int filters = 0, value = 0;
    __try {
        value = load_through_base(nullptr);
    } __except (++filters, point_base_at(GetExceptionInformation()->ContextRecord, &good),
                EXCEPTION_CONTINUE_EXECUTION) {
        filters += 100;
    }
    EXPECT_EQ(filters, 1);
    EXPECT_EQ(value, 42);
}

#if defined(__x86_64__)
// The trap flag a filter sets in the CONTEXT takes effect when execution
// continues: the next instruction ends in a single-step exception.
TEST(Faults, TrapFlagSetByAFilterSingleSteps) {
    static const int good = 7;
    DWORD codes[2] = {0, 0};
    int filters = 0;
    __try {
        load_through_base(nullptr);
    } __except (codes[filters] = GetExceptionCode(),
                filters++ == 0 ? (point_base_at(GetExceptionInformation()->ContextRecord, &good),
                                  GetExceptionInformation()->ContextRecord->EFlags |= 0x100, EXCEPTION_CONTINUE_EXECUTION)
                               : EXCEPTION_EXECUTE_HANDLER) {
    }
    EXPECT_EQ(filters, 2);
    EXPECT_EQ(codes[0], STATUS_ACCESS_VIOLATION);
    EXPECT_EQ(codes[1], STATUS_SINGLE_STEP);
}
#endif

// The dispatcher of a fault is entered as though the faulting instruction
// had called it: a C++ exception thrown by a filter unwinds from there
// through the faulting frames to its catch.  Without -fnon-call-exceptions
// the compiler assumes a store cannot throw, so the faulting function is
// reached through a call it cannot see into, and on 32-bit ARM, whose
// unwinder refuses functions marked as not throwing, not at all.  The throw
// is itself offered to the filters first (0xE06D7363), this one's included,
// which declines it.
int throwing_filter(DWORD code) {
    if (code == 0xE06D7363) return EXCEPTION_CONTINUE_SEARCH;
    throw 42;
}

void (*volatile opaque_write_at)(uintptr_t) = write_at;

__declspec(noinline) void fault_under_throwing_filter() {
    __try {
        opaque_write_at(0);
    } __except (throwing_filter(GetExceptionCode())) {
    }
}

TEST(Faults, CxxExceptionFromAFilterUnwindsThroughTheFault) {
    for (int round = 0; round < 2; ++round) {
        int caught = 0;
        try {
            fault_under_throwing_filter();
        } catch (int value) {
            caught = value;
        }
        EXPECT_EQ(caught, 42) << "round " << round;
    }
    EXPECT_EQ(probe(read_at, 0).code, STATUS_ACCESS_VIOLATION);
}

volatile bool forever = true;
__declspec(noinline) int recurse(volatile char *below) {
    volatile char pad[256];
    pad[0] = below ? char(below[0] + 1) : 0;
    return forever ? recurse(pad) + pad[1] : 0;
}
void overflow(uintptr_t) { recurse(nullptr); }

TEST(Faults, StackOverflowIsCaughtAndTheProgramGoesOn) {
    for (int round = 0; round < 2; ++round) {
        Seen s = probe(overflow, 0);
        EXPECT_TRUE(s.handled) << "round " << round;
        EXPECT_EQ(s.code, STATUS_STACK_OVERFLOW) << "round " << round;
    }
    EXPECT_EQ(probe(read_at, 0).code, STATUS_ACCESS_VIOLATION);
}

}  // namespace
