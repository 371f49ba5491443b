/* A C source is C: a void pointer converts to any object pointer without a
   cast, a goto may jump past an initialised declaration, and a character
   constant has type int. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(void)
{
    int *Values = malloc(4 * sizeof *Values);
    int i;

    __try {
        for (i = 0; i < 4; i++)
            Values[i] = i * i;
        if (Values[3] == 9)
            goto Done;
        RaiseException(0xE0000001, 0, 0, NULL);
    } __finally {
        printf("fin %d\n", Values[2]);
    }
    int Skipped = 5;
    printf("skipped %d\n", Skipped);
Done:
    printf("char constant size %d\n", (int)sizeof('a'));
    free(Values);
    return 0;
}
