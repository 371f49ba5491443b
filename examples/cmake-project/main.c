/* Counts the readable records of an inventory, one of them damaged. */
#include <stdio.h>
#include "journal.h"
#include "reading.h"

int main(void)
{
    static const int first = 4, second = 7, third = 1;
    Record records[4] = {{&first}, {(const int *)0}, {&second}, {&third}};
    int items = 0, unreadable = 0, entries = 0;

    for (int i = 0; i < 4; i++) {
        const int count = read_count(&records[i]);
        entries += journal_checked(count, &unreadable);
        if (count >= 0)
            items++;
    }
    printf("%d items, %d unreadable, %d journal entries\n", items, unreadable, entries);
    return items == 3 && unreadable == 1 && entries == 4 ? 0 : 1;
}
