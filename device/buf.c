#include "buf.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void *xmalloc(size_t n)
{
    void *p = malloc(n ? n : 1);
    if (!p) {
        fputs("zeb-run: out of memory\n", stderr);
        exit(2);
    }
    return p;
}

void *xrealloc(void *p, size_t n)
{
    void *q = realloc(p, n ? n : 1);
    if (!q) {
        fputs("zeb-run: out of memory\n", stderr);
        exit(2);
    }
    return q;
}

char *xstrndup(const char *s, size_t n)
{
    char *d = xmalloc(n + 1);
    memcpy(d, s, n);
    d[n] = '\0';
    return d;
}

char *xstrdup(const char *s)
{
    return xstrndup(s, strlen(s));
}

static void reserve(Buf *b, size_t more)
{
    if (b->len + more + 1 <= b->cap)
        return;
    size_t cap = b->cap ? b->cap : 64;
    while (cap < b->len + more + 1)
        cap *= 2;
    b->data = xrealloc(b->data, cap);
    b->cap = cap;
}

void buf_add(Buf *b, const char *s, size_t n)
{
    reserve(b, n);
    memcpy(b->data + b->len, s, n);
    b->len += n;
    b->data[b->len] = '\0';
}

void buf_puts(Buf *b, const char *s)
{
    buf_add(b, s, strlen(s));
}

void buf_putc(Buf *b, char c)
{
    buf_add(b, &c, 1);
}

void buf_printf(Buf *b, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    /* msvcrt's own pair: the size first, then the text into room for it. */
    int n = _vscprintf(fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    reserve(b, (size_t)n);
    va_start(ap, fmt);
    _vsnprintf(b->data + b->len, (size_t)n + 1, fmt, ap);
    va_end(ap);
    b->len += (size_t)n;
    b->data[b->len] = '\0';
}

const char *buf_text(Buf *b)
{
    return b->data ? b->data : "";
}

void buf_free(Buf *b)
{
    free(b->data);
    b->data = NULL;
    b->len = b->cap = 0;
}
