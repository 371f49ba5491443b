#include "judge.h"

#include <stdlib.h>
#include <string.h>

#include "ntstatus.h"
#include "pystr.h"

static const char *const VERDICT_NAMES[] = {"PASS", "FAIL", "TIMEOUT", "XFAIL", "XPASS", "FLAKY", "UNRESOLVED"};

const char *verdict_name(Verdict v)
{
    return VERDICT_NAMES[v];
}

int verdict_is_failure(Verdict v)
{
    return v == V_FAIL || v == V_TIMEOUT || v == V_XPASS;
}

int verdict_counts_as_passed(Verdict v)
{
    return v == V_PASS || v == V_FLAKY;
}

static int line_matches(const ExpectedLine *e, const char *a, size_t len)
{
    if (!e->re)
        return e->raw_len == len && memcmp(e->raw, a, len) == 0;
    return regex_fullmatch(e->re, a, len);
}

char *compare_output(const ExpectedLine *lines, size_t nlines, const char *actual, size_t len)
{
    size_t nact;
    Line *act = py_splitlines(actual, len, &nact);
    size_t n = nlines > nact ? nlines : nact;
    char *differs = NULL;
    for (size_t i = 0; i < n; i++) {
        const ExpectedLine *e = i < nlines ? &lines[i] : NULL;
        const Line *a = i < nact ? &act[i] : NULL;
        if (e && a && line_matches(e, a->start, a->len))
            continue;
        Buf b = {0};
        buf_printf(&b, "line %lu: expected ", (unsigned long)(i + 1));
        if (e)
            py_repr(&b, e->raw, e->raw_len);
        else
            buf_puts(&b, "(nothing)");
        buf_puts(&b, ", got ");
        if (a)
            py_repr(&b, a->start, a->len);
        else
            buf_puts(&b, "(nothing)");
        differs = b.data;
        break;
    }
    free(act);
    return differs;
}

/* An exit code as the harness's reasons and expected statuses spell it:
   Linux, and so `./zeb run` through Wine, sees only its low 8 bits. */
static unsigned long shown_code(unsigned long code)
{
    return code & 0xFF;
}

static void exit_status_reason(const Observed *o, const char *differs, size_t nlines, unsigned long expected,
                               Buf *r)
{
    unsigned long s = shown_code(o->code);
    if (nlines == 0 && o->stdout_len) {
        /* A structured-exception program says what failed in its one line. */
        buf_printf(r, "exit status %lu: ", s);
        py_show(r, o->stdout_text, o->stdout_len, 160);
        return;
    }
    if (differs) {
        buf_printf(r, "exit status %lu; %s", s, differs);
        return;
    }
    const char *err;
    size_t err_len;
    py_strip(o->stderr_text, o->stderr_len, &err, &err_len);
    if (err_len) {
        size_t nerr;
        Line *lines = py_splitlines(err, err_len, &nerr);
        /* The first line without its line end, as splitlines() gives it. */
        size_t first = lines[0].len;
        while (first > 0 && strchr("\r\n\v\f\x1c\x1d\x1e", lines[0].start[first - 1]))
            first--;
        if (first >= 2 && (unsigned char)lines[0].start[first - 2] == 0xC2 &&
            (unsigned char)lines[0].start[first - 1] == 0x85)
            first -= 2;
        buf_printf(r, "exit status %lu: ", s);
        py_show(r, lines[0].start, first, 160);
        free(lines);
        return;
    }
    buf_printf(r, "exit status %lu, expected %lu", s, expected);
}

int judge(const Observed *o, const ExpectedLine *lines, size_t nlines, unsigned long expected_status, Buf *reason)
{
    buf_add(reason, "", 0);
    if (o->timed_out) {
        buf_puts(reason, "hang: still running after ");
        py_g(reason, o->timeout);
        buf_puts(reason, " s");
        return 0;
    }
    char *differs = compare_output(lines, nlines, o->stdout_text, o->stdout_len);
    if (o->code == expected_status && differs == NULL)
        return 1;
    exit_status_reason(o, differs, nlines, expected_status, reason);
    free(differs);
    /* The whole code where the low 8 bits do not say it; named where it is
       an exception's. */
    if (o->code > 0xFF) {
        const char *name = ntstatus_name(o->code);
        buf_printf(reason, " [exit code 0x%08lX%s%s]", o->code, name ? ": " : "", name ? name : "");
    }
    return 0;
}

Verdict judge_known(int passed, const char *reason, const Known *entry, int timed_out, Buf *shown)
{
    buf_add(shown, "", 0);
    if (!entry) {
        buf_puts(shown, reason);
        if (passed)
            return V_PASS;
        return timed_out ? V_TIMEOUT : V_FAIL;
    }
    if (passed) {
        if (entry->flaky)
            return V_PASS;
        buf_printf(shown, "passed, but listed as failing here: %s", entry->reason);
        return V_XPASS;
    }
    if (entry->match && !strstr(reason, entry->match)) {
        buf_printf(shown, "fails differently than listed: %s [listed: %s]", reason, entry->match);
        return V_FAIL;
    }
    buf_printf(shown, "%s [expected: %s]", reason, entry->reason);
    return V_XFAIL;
}
