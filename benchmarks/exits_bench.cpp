// What each way in and out of a guarded block costs, as a ratio to a plain
// call of the same function measured in the same run.
#include <windows.h>
#include <setjmp.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

static volatile int Sink;

__declspec(noinline) static void Work(void) { Sink = Sink + 1; }

__declspec(noinline) static void Raise(void) { RaiseException(0xE0000001, 0, 0, NULL); }

__declspec(noinline) static int ReturnThroughFinally(void) {
    __try {
        Work();
        return 1;
    } __finally {
        Sink = Sink + 1;
    }
    return 0;
}

static jmp_buf Buffer;

__declspec(noinline) static void Throw(void) { throw 1; }

__declspec(noinline) static void JumpBack(void) { longjmp(Buffer, 1); }

static void Baseline_PlainCall(benchmark::State &state) {
    for (auto _ : state) Work();
}

static void TryExcept_FallThrough(benchmark::State &state) {
    for (auto _ : state) {
        __try {
            Work();
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Sink = 0;
        }
    }
}

static void TryFinally_FallThrough(benchmark::State &state) {
    for (auto _ : state) {
        __try {
            Work();
        } __finally {
            Sink = Sink + 1;
        }
    }
}

static void TryFinally_Leave(benchmark::State &state) {
    for (auto _ : state) {
        __try {
            Work();
            if (Sink) __leave;
            Work();
        } __finally {
            Sink = Sink + 1;
        }
    }
}

static void TryFinally_Break(benchmark::State &state) {
    for (auto _ : state) {
        for (;;) {
            __try {
                Work();
                break;
            } __finally {
                Sink = Sink + 1;
            }
        }
    }
}

static void TryFinally_Return(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReturnThroughFinally());
}

static void Exception_RaiseAndHandle(benchmark::State &state) {
    for (auto _ : state) {
        __try {
            Raise();
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Sink = Sink + 1;
        }
    }
}

static void Exception_ThroughFinally(benchmark::State &state) {
    for (auto _ : state) {
        __try {
            __try {
                Raise();
            } __finally {
                Sink = Sink + 1;
            }
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Sink = Sink + 1;
        }
    }
}

static void Exception_AccessViolation(benchmark::State &state) {
    int *volatile null = NULL;
    for (auto _ : state) {
        __try {
            Sink = *null;
        } __except (EXCEPTION_EXECUTE_HANDLER) {
            Sink = Sink + 1;
        }
    }
}

static void LongJump_ThroughFinally(benchmark::State &state) {
    for (auto _ : state) {
        if (setjmp(Buffer) == 0) {
            __try {
                JumpBack();
            } __finally {
                Sink = Sink + 1;
            }
        }
    }
}

// What the raise is held against: a C++ throw caught one frame out.
static void CxxThrow_CaughtOneFrameOut(benchmark::State &state) {
    for (auto _ : state) {
        try {
            Throw();
        } catch (int) {
            Sink = Sink + 1;
        }
    }
}

BENCHMARK(Baseline_PlainCall);
BENCHMARK(TryExcept_FallThrough);
BENCHMARK(TryFinally_FallThrough);
BENCHMARK(TryFinally_Leave);
BENCHMARK(TryFinally_Break);
BENCHMARK(TryFinally_Return);
BENCHMARK(Exception_RaiseAndHandle);
BENCHMARK(Exception_ThroughFinally);
BENCHMARK(Exception_AccessViolation);
BENCHMARK(LongJump_ThroughFinally);
BENCHMARK(CxxThrow_CaughtOneFrameOut);

// Prints, after the usual table, each benchmark's time as a multiple of the
// baseline's, and how many raises caught one block out cost one C++ throw.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration) times_.emplace_back(r.benchmark_name(), r.GetAdjustedCPUTime());
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double baseline = 0;
        for (auto &t : times_)
            if (t.first.rfind("Baseline_", 0) == 0) baseline = t.second;
        if (baseline <= 0) return;
        std::printf("\n%-28s %12s\n", "benchmark", "x baseline");
        for (auto &t : times_) std::printf("%-28s %12.1f\n", t.first.c_str(), t.second / baseline);
        double raise = 0, cxx_throw = 0;
        for (auto &t : times_) {
            if (t.first == "Exception_RaiseAndHandle") raise = t.second;
            if (t.first == "CxxThrow_CaughtOneFrameOut") cxx_throw = t.second;
        }
        if (raise > 0 && cxx_throw > 0)
            std::printf("\nraise caught one block out: %.1f times cheaper than a C++ throw caught one frame out\n",
                        cxx_throw / raise);
    }

private:
    std::vector<std::pair<std::string, double>> times_;
};

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
