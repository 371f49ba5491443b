#include "report.h"

#include <stdlib.h>
#include <string.h>

#include "pystr.h"
#include "utf8.h"

static size_t count(const Result *r, size_t n, Verdict v)
{
    size_t c = 0;
    for (size_t i = 0; i < n; i++)
        c += r[i].verdict == v;
    return c;
}

static void counts(const Result *r, size_t n, size_t *passed, size_t *failed)
{
    *passed = *failed = 0;
    for (size_t i = 0; i < n; i++) {
        *passed += verdict_counts_as_passed(r[i].verdict);
        *failed += verdict_is_failure(r[i].verdict);
    }
}

int report_run_ok(const Result *results, size_t n)
{
    size_t passed, failed;
    counts(results, n, &passed, &failed);
    return n > 0 && failed == 0 && count(results, n, V_UNRESOLVED) == 0;
}

static void pad(Buf *out, const char *s, size_t width)
{
    size_t len = strlen(s);
    buf_puts(out, s);
    for (; len < width; len++)
        buf_putc(out, ' ');
}

void report_table(Buf *out, const Result *results, size_t n, const char *platform)
{
    size_t width = 7, vwidth = 7;
    for (size_t i = 0; i < n; i++) {
        if (strlen(results[i].name) > width)
            width = strlen(results[i].name);
        if (strlen(verdict_name(results[i].verdict)) > vwidth)
            vwidth = strlen(verdict_name(results[i].verdict));
    }
    pad(out, "program", width);
    buf_puts(out, "  ");
    pad(out, "verdict", vwidth);
    buf_printf(out, "  what went wrong (%s)\n", platform);
    for (size_t i = 0; i < width; i++)
        buf_putc(out, '-');
    buf_puts(out, "  ");
    for (size_t i = 0; i < vwidth; i++)
        buf_putc(out, '-');
    buf_puts(out, "  ------------------------------");
    for (size_t i = 0; i < n; i++) {
        Buf row = {0};
        pad(&row, results[i].name, width);
        buf_puts(&row, "  ");
        pad(&row, verdict_name(results[i].verdict), vwidth);
        buf_puts(&row, "  ");
        buf_puts(&row, results[i].reason);
        py_rstrip(row.data);
        buf_putc(out, '\n');
        buf_puts(out, row.data);
        buf_free(&row);
    }
    buf_putc(out, '\n');
}

void report_closing(Buf *out, const Result *results, size_t n)
{
    size_t passed, failed;
    counts(results, n, &passed, &failed);
    size_t xfail = count(results, n, V_XFAIL), flaky = count(results, n, V_FLAKY);
    size_t timeouts = count(results, n, V_TIMEOUT), unresolved = count(results, n, V_UNRESOLVED);
    if (xfail)
        buf_printf(out, "%lu expected failures (listed with their reasons)\n", (unsigned long)xfail);
    if (flaky)
        buf_printf(out, "%lu flaky (as expected only on a retry; counted as passed)\n", (unsigned long)flaky);
    if (timeouts)
        buf_printf(out, "%lu timed out (counted as failed)\n", (unsigned long)timeouts);
    if (unresolved)
        buf_printf(out, "%lu unresolved (the runner could not run them; counted neither as passed nor as failed)\n",
                   (unsigned long)unresolved);
    buf_printf(out, "%lu passed, %lu failed\n", (unsigned long)passed, (unsigned long)failed);
}

/* TEXT with what XML 1.0 cannot hold as U+FFFD, and & < > escaped; in an
   attribute also line ends and tabs, as xml.sax.saxutils.quoteattr does. */
static void xml_escaped(Buf *out, const char *text, int attribute, char quote)
{
    size_t len = strlen(text), i = 0;
    while (i < len) {
        size_t k;
        unsigned cp = utf8_decode(text + i, len - i, &k);
        i += k;
        if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF)
            cp = 0xFFFD;
        if (cp == '&')
            buf_puts(out, "&amp;");
        else if (cp == '<')
            buf_puts(out, "&lt;");
        else if (cp == '>')
            buf_puts(out, "&gt;");
        else if (attribute && cp == '\n')
            buf_puts(out, "&#10;");
        else if (attribute && cp == '\r')
            buf_puts(out, "&#13;");
        else if (attribute && cp == '\t')
            buf_puts(out, "&#9;");
        else if (attribute && cp == '"' && quote == '"')
            buf_puts(out, "&quot;");
        else
            utf8_put(out, cp);
    }
}

static void attr(Buf *out, const char *text)
{
    char quote = '"';
    if (strchr(text, '"') && !strchr(text, '\''))
        quote = '\'';
    buf_putc(out, quote);
    xml_escaped(out, text, 1, quote);
    buf_putc(out, quote);
}

void report_junit(Buf *out, const Result *results, size_t n, const char *platform)
{
    size_t passed, failed;
    counts(results, n, &passed, &failed);
    Buf name = {0}, classname = {0};
    buf_printf(&name, "zeb-%s", platform);
    buf_printf(&classname, "zeb.%s", platform);
    buf_puts(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=");
    attr(out, name.data);
    buf_printf(out, " tests=\"%lu\" failures=\"%lu\" errors=\"%lu\" skipped=\"%lu\">\n", (unsigned long)n,
               (unsigned long)failed, (unsigned long)count(results, n, V_UNRESOLVED),
               (unsigned long)count(results, n, V_XFAIL));
    for (size_t i = 0; i < n; i++) {
        const Result *r = &results[i];
        buf_puts(out, "  <testcase classname=");
        attr(out, classname.data);
        buf_puts(out, " name=");
        attr(out, r->name);
        buf_puts(out, " time=\"");
        py_seconds(out, r->seconds);
        buf_puts(out, "\">");
        Buf output = {0};
        buf_puts(&output, r->stdout_text);
        buf_puts(&output, r->stderr_text);
        if (verdict_is_failure(r->verdict) || r->verdict == V_UNRESOLVED) {
            const char *tag = r->verdict == V_UNRESOLVED ? "error" : "failure";
            buf_printf(out, "<%s message=", tag);
            attr(out, r->reason);
            buf_putc(out, '>');
            xml_escaped(out, output.data, 0, 0);
            buf_printf(out, "</%s>", tag);
        } else if (r->verdict == V_XFAIL) {
            buf_puts(out, "<skipped message=");
            attr(out, r->reason);
            buf_puts(out, "/>");
        } else if (r->verdict == V_FLAKY) {
            buf_puts(out, "<system-out>");
            xml_escaped(out, r->reason, 0, 0);
            buf_puts(out, "</system-out>");
        }
        buf_free(&output);
        buf_puts(out, "</testcase>\n");
    }
    buf_puts(out, "</testsuite>\n");
    buf_free(&name);
    buf_free(&classname);
}
