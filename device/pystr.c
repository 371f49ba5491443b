#include "pystr.h"

#include <stdlib.h>
#include <string.h>

#include "utf8.h"

void py_show(Buf *out, const char *text, size_t len, size_t limit)
{
    Buf s = {0};
    size_t i = 0;
    buf_add(&s, "", 0);
    while (i < len) {
        size_t k;
        unsigned cp = utf8_decode(text + i, len - i, &k);
        i += k;
        if (cp == '\\')
            buf_puts(&s, "\\\\");
        else if (cp == '\t')
            buf_puts(&s, "\\t");
        else if (cp == '\n')
            buf_puts(&s, "\\n");
        else if (cp == '\r')
            buf_puts(&s, "\\r");
        else if (cp >= 0x20 && cp < 0x7f)
            buf_putc(&s, (char)cp);
        else if (cp < 0x100)
            buf_printf(&s, "\\x%02x", cp);
        else if (cp < 0x10000)
            buf_printf(&s, "\\u%04x", cp);
        else
            buf_printf(&s, "\\U%08x", cp);
    }
    /* unicode_escape's output is ASCII: characters are bytes here. */
    if (s.len <= limit) {
        buf_add(out, s.data, s.len);
    } else {
        buf_add(out, s.data, limit);
        buf_puts(out, "...");
    }
    buf_free(&s);
}

/* Python's str.isprintable() for what programs print: ASCII exactly; of the
   rest, the C1 controls, U+00A0, U+00AD and the line and paragraph
   separators are not, and everything else is taken as printable. */
static int printable(unsigned cp)
{
    if (cp < 0x80)
        return cp >= 0x20 && cp < 0x7f;
    if (cp < 0xA1 || cp == 0xAD || cp == 0x2028 || cp == 0x2029)
        return 0;
    return 1;
}

void py_repr(Buf *out, const char *text, size_t len)
{
    int has_single = memchr(text, '\'', len) != NULL, has_double = memchr(text, '"', len) != NULL;
    char quote = has_single && !has_double ? '"' : '\'';
    buf_putc(out, quote);
    size_t i = 0;
    while (i < len) {
        size_t k;
        unsigned cp = utf8_decode(text + i, len - i, &k);
        if (cp == (unsigned)quote || cp == '\\') {
            buf_putc(out, '\\');
            buf_putc(out, (char)cp);
        } else if (cp == '\t') {
            buf_puts(out, "\\t");
        } else if (cp == '\n') {
            buf_puts(out, "\\n");
        } else if (cp == '\r') {
            buf_puts(out, "\\r");
        } else if (printable(cp)) {
            utf8_put(out, cp);
        } else if (cp < 0x100) {
            buf_printf(out, "\\x%02x", cp);
        } else {
            buf_printf(out, "\\u%04x", cp);
        }
        i += k;
    }
    buf_putc(out, quote);
}

/* The line boundaries of str.splitlines, as the length of the boundary at
   S (0: none). */
static size_t boundary(const char *s, size_t n)
{
    unsigned char c = (unsigned char)s[0];
    if (c == '\r')
        return n > 1 && s[1] == '\n' ? 2 : 1;
    if (c == '\n' || c == '\v' || c == '\f' || c == 0x1c || c == 0x1d || c == 0x1e)
        return 1;
    if (c == 0xC2 && n > 1 && (unsigned char)s[1] == 0x85)
        return 2;
    if (c == 0xE2 && n > 2 && (unsigned char)s[1] == 0x80 &&
        ((unsigned char)s[2] == 0xA8 || (unsigned char)s[2] == 0xA9))
        return 3;
    return 0;
}

Line *py_splitlines(const char *text, size_t len, size_t *count)
{
    size_t cap = 16, n = 0, start = 0, i = 0;
    Line *lines = xmalloc(cap * sizeof *lines);
    while (i < len) {
        size_t b = boundary(text + i, len - i);
        if (b == 0) {
            i++;
            continue;
        }
        i += b;
        if (n == cap)
            lines = xrealloc(lines, (cap *= 2) * sizeof *lines);
        lines[n].start = text + start;
        lines[n++].len = i - start;
        start = i;
    }
    if (start < len) {
        if (n == cap)
            lines = xrealloc(lines, (cap *= 2) * sizeof *lines);
        lines[n].start = text + start;
        lines[n++].len = len - start;
    }
    *count = n;
    return lines;
}

static int space(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x1c && c <= 0x1f);
}

void py_strip(const char *text, size_t len, const char **start, size_t *out_len)
{
    size_t a = 0, b = len;
    while (a < b && space((unsigned char)text[a]))
        a++;
    while (b > a && space((unsigned char)text[b - 1]))
        b--;
    *start = text + a;
    *out_len = b - a;
}

void py_rstrip(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && space((unsigned char)text[n - 1]))
        text[--n] = '\0';
}

void py_g(Buf *out, double x)
{
    buf_printf(out, "%g", x);
}

void py_seconds(Buf *out, double seconds)
{
    Buf t = {0};
    buf_printf(&t, "%.3f", seconds);
    /* repr() keeps one digit after the point, and no trailing zeros. */
    char *s = t.data;
    size_t n = t.len;
    while (n > 0 && s[n - 1] == '0' && n >= 2 && s[n - 2] != '.')
        n--;
    buf_add(out, s, n);
    buf_free(&t);
}
