// The search walks the chain from its outermost record in.
#include "core/internal.h"

namespace zeb::variant {

__seh_record *search_after(__seh_record *start, __seh_record *r) {
    if (r == start) return nullptr;
    __seh_record *q = start;
    while (q && q->prev != r) q = q->prev;
    return q;
}

}  // namespace zeb::variant
