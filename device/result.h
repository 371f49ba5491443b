/* One run's result, as the results file keeps it. */
#ifndef ZEB_RESULT_H
#define ZEB_RESULT_H
#include "judge.h"

typedef struct {
    const char *name;
    Verdict verdict;
    char *reason;         /* as the table shows it */
    char *failure;        /* what the runner reported, without the expected-failure note */
    const char *known;    /* the platform's entry for it, or "" */
    int has_status;       /* 0: not built, hung or not run */
    unsigned long status;
    char *stdout_text;    /* UTF-8, cut after OUTPUT_LIMIT characters */
    char *stderr_text;
    double seconds;
    int attempts;
} Result;

/* Standard output and error kept in a result; the rest is cut, as the
   harness cuts it. */
#define OUTPUT_LIMIT 4000
#endif
