#include <stdio.h>

#define MAX_REC 200
#define N_LOOPS 10

void Recurse(int level)
{
    if (level < MAX_REC) {
        try {
            Recurse(level + 1);
        } catch (int &e) {
            e = level;
            throw level;
        }
    } else {
        printf("Level MAX_REC throwing.\n");
        throw level;
    }
}

int main()
{
    int i;

    printf("N loops: %d\n", N_LOOPS);
    for (i = 0; i < N_LOOPS; i++) {
        try {
            Recurse(0);
        } catch (int &e) {
            printf("main catched level %d\n", e);
        }
    }
    return 0;
}
