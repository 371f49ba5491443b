/* Judging one run as the harness's check.judge and verdicts.judge_known
   do, with the same reasons, word for word. */
#ifndef ZEB_JUDGE_H
#define ZEB_JUDGE_H
#include <stddef.h>

#include "buf.h"
#include "regex.h"

typedef struct {
    char *raw;      /* the line as the expected output holds it, {{...}} included */
    size_t raw_len;
    Regex *re;      /* NULL: compared literally */
} ExpectedLine;

typedef struct {
    char *name;
    char *reason;
    char *match;    /* NULL: any failure is the listed one */
    int flaky;
} Known;

typedef enum { V_PASS, V_FAIL, V_TIMEOUT, V_XFAIL, V_XPASS, V_FLAKY, V_UNRESOLVED } Verdict;

const char *verdict_name(Verdict v);
int verdict_is_failure(Verdict v);
int verdict_counts_as_passed(Verdict v);

/* check.compare_output: NULL when ACTUAL is as expected, else what differs
   first (the caller frees it). */
char *compare_output(const ExpectedLine *lines, size_t nlines, const char *actual, size_t len);

typedef struct {
    unsigned long code;      /* the exit code, as GetExitCodeProcess gives it */
    const char *stdout_text;
    size_t stdout_len;
    const char *stderr_text;
    size_t stderr_len;
    int timed_out;
    double timeout;
} Observed;

/* check.judge: 1 when the run behaved; the reason into REASON otherwise. */
int judge(const Observed *o, const ExpectedLine *lines, size_t nlines, unsigned long expected_status, Buf *reason);

/* verdicts.judge_known: the verdict, and the reason as the table shows it. */
Verdict judge_known(int passed, const char *reason, const Known *entry, int timed_out, Buf *shown);
#endif
