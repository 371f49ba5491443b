#include <windows.h>
#include "reading.h"

int read_count(const Record *record)
{
    int count = -1;
    __try {
        count = *record->count;
    } __except (GetExceptionCode() == EXCEPTION_ACCESS_VIOLATION
                ? EXCEPTION_EXECUTE_HANDLER   // a damaged record
                : EXCEPTION_CONTINUE_SEARCH) {
        count = -1;
    }
    return count;
}

void check_count(int count)
{
    if (count < 0)
        RaiseException(BAD_RECORD, 0, 0, NULL);
}
