// Process-wide handlers outside the chain of guarded blocks: vectored
// exception handlers, asked before any filter, and the top-level filter,
// asked when no guarded block took the exception.
#include "core/internal.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace zeb::seh {
namespace {

struct Vectored {
    PVECTORED_EXCEPTION_HANDLER handler;
};

std::mutex vectored_lock;
std::vector<Vectored *> &vectored() {
    static std::vector<Vectored *> handlers;
    return handlers;
}

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> top_level{nullptr};

}  // namespace

bool vectored_handlers_continue(EXCEPTION_POINTERS *pointers) {
    std::vector<PVECTORED_EXCEPTION_HANDLER> order;
    {
        std::lock_guard<std::mutex> hold(vectored_lock);
        for (Vectored *v : vectored()) order.push_back(v->handler);
    }
    for (PVECTORED_EXCEPTION_HANDLER h : order)
        if (h(pointers) == EXCEPTION_CONTINUE_EXECUTION) return true;
    return false;
}

int top_level_verdict(EXCEPTION_POINTERS *pointers) {
    LPTOP_LEVEL_EXCEPTION_FILTER filter = top_level.load();
    return filter ? int(filter(pointers)) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace zeb::seh

using namespace zeb::seh;

extern "C" PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
    if (!handler) return nullptr;
    Vectored *entry = new Vectored{handler};
    std::lock_guard<std::mutex> hold(vectored_lock);
    if (first)
        vectored().insert(vectored().begin(), entry);
    else
        vectored().push_back(entry);
    return entry;
}

extern "C" ULONG RemoveVectoredExceptionHandler(PVOID handle) {
    std::lock_guard<std::mutex> hold(vectored_lock);
    for (auto it = vectored().begin(); it != vectored().end(); ++it) {
        if (*it == handle) {
            delete *it;
            vectored().erase(it);
            return 1;
        }
    }
    return 0;
}

extern "C" LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    return top_level.exchange(filter);
}

extern "C" LONG UnhandledExceptionFilter(EXCEPTION_POINTERS *) { return EXCEPTION_EXECUTE_HANDLER; }
