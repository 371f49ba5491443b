// Every check makes a journal entry, whether the count passed or not.
#include <windows.h>
#include "journal.h"
#include "reading.h"

int journal_checked(int count, int *rejected)
{
    int entries = 0;
    __try {
        __try {
            check_count(count);
        } __finally {
            entries++;
        }
    } __except (GetExceptionCode() == BAD_RECORD) {
        ++*rejected;
    }
    return entries;
}
