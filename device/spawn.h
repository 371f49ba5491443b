/* One run of one program: a child process with standard output and error
   through pipes, inside a job object so that a hung program is ended with
   everything it started. */
#ifndef ZEB_SPAWN_H
#define ZEB_SPAWN_H
#include "buf.h"

typedef struct {
    int started;            /* 0: it could not be started; ERROR says why */
    char error[256];
    unsigned long code;
    int timed_out;
    double seconds;
    Buf out, err;
} Outcome;

void spawn_init(void);
/* Runs PROGRAM (a path) with ARGS in folder CWD; TIMEOUT in seconds. */
void spawn_run(const char *program, char *const *args, int nargs, const char *cwd, double timeout, Outcome *o);
double now_seconds(void);
#endif
