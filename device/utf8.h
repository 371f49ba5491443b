/* UTF-8, read as Python reads a program's output with errors="replace". */
#ifndef ZEB_UTF8_H
#define ZEB_UTF8_H
#include <stddef.h>

#include "buf.h"

/* Length of the well-formed UTF-8 sequence at S (at most N bytes), 0 when
   there is none. */
size_t utf8_sequence(const char *s, size_t n);
/* The code point at S and its length in *LEN; U+FFFD for one byte that
   starts no well-formed sequence. */
unsigned utf8_decode(const char *s, size_t n, size_t *len);
void utf8_put(Buf *b, unsigned cp);
/* TEXT with every ill-formed byte as U+FFFD: what Python's decode gives. */
void utf8_clean(Buf *out, const char *text, size_t len);
#endif
