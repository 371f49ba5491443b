/* A growable byte string: everything the runner formats goes through one,
   so that no output is ever cut at a fixed buffer's end. */
#ifndef ZEB_BUF_H
#define ZEB_BUF_H
#include <stddef.h>

typedef struct {
    char *data;   /* always NUL-terminated once anything was added */
    size_t len;
    size_t cap;
} Buf;

void buf_add(Buf *b, const char *s, size_t n);
void buf_puts(Buf *b, const char *s);
void buf_putc(Buf *b, char c);
void buf_printf(Buf *b, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
/* The text so far (an empty string for an empty buffer), owned by B. */
const char *buf_text(Buf *b);
void buf_free(Buf *b);

/* Memory that cannot be had ends the run with one line: a runner half out
   of memory would only write a wrong report. */
void *xmalloc(size_t n);
void *xrealloc(void *p, size_t n);
char *xstrdup(const char *s);
char *xstrndup(const char *s, size_t n);
#endif
