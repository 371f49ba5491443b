/* The string behaviours of Python that the harness's reasons are made of,
   so that a row here reads byte for byte as `./zeb run` writes it. */
#ifndef ZEB_PYSTR_H
#define ZEB_PYSTR_H
#include <stddef.h>

#include "buf.h"

/* check.show(): TEXT with unicode_escape's escapes, cut after LIMIT
   characters with "..." after it. */
void py_show(Buf *out, const char *text, size_t len, size_t limit);
/* repr() of a str. */
void py_repr(Buf *out, const char *text, size_t len);

typedef struct {
    const char *start;
    size_t len;   /* with its line end */
} Line;

/* str.splitlines(keepends=True): *COUNT lines, an array the caller frees. */
Line *py_splitlines(const char *text, size_t len, size_t *count);
/* str.strip(), as a start and length within TEXT. */
void py_strip(const char *text, size_t len, const char **start, size_t *out_len);
/* str.rstrip() of a NUL-terminated string, in place. */
void py_rstrip(char *text);
/* Float formatting: format(x, "g") and repr(round(x, 3)). */
void py_g(Buf *out, double x);
void py_seconds(Buf *out, double seconds);
#endif
