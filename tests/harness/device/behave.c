/* A program that behaves as its arguments say, for the runner's tests:
     behave CODE [STDOUT [STDERR]]   prints STDOUT and STDERR (\n for a line
                                     feed), exits with CODE
     behave hang                     never ends
     behave fault                    writes through a null pointer */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void put(FILE *f, const char *s)
{
    for (; *s; s++) {
        if (s[0] == '\\' && s[1] == 'n') {
            fputc('\n', f);
            s++;
        } else {
            fputc(*s, f);
        }
    }
    fflush(f);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 100;
    if (strcmp(argv[1], "hang") == 0) {
        for (;;)
            Sleep(1000);
    }
    if (strcmp(argv[1], "fault") == 0) {
        volatile int *p = NULL;
        *p = 1;
        return 0;
    }
    if (argc > 2)
        put(stdout, argv[2]);
    if (argc > 3)
        put(stderr, argv[3]);
    return (int)strtoul(argv[1], NULL, 0);
}
