#include "utf8.h"

size_t utf8_sequence(const char *s, size_t n)
{
    const unsigned char *u = (const unsigned char *)s;
    if (n == 0)
        return 0;
    if (u[0] < 0x80)
        return 1;
    size_t need;
    unsigned min, cp;
    if (u[0] >= 0xC2 && u[0] <= 0xDF) {
        need = 2;
        min = 0x80;
        cp = u[0] & 0x1F;
    } else if (u[0] >= 0xE0 && u[0] <= 0xEF) {
        need = 3;
        min = 0x800;
        cp = u[0] & 0x0F;
    } else if (u[0] >= 0xF0 && u[0] <= 0xF4) {
        need = 4;
        min = 0x10000;
        cp = u[0] & 0x07;
    } else {
        return 0;
    }
    if (n < need)
        return 0;
    for (size_t i = 1; i < need; i++) {
        if ((u[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (u[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return need;
}

unsigned utf8_decode(const char *s, size_t n, size_t *len)
{
    const unsigned char *u = (const unsigned char *)s;
    size_t k = utf8_sequence(s, n);
    if (k == 0) {
        *len = 1;
        return 0xFFFD;
    }
    *len = k;
    if (k == 1)
        return u[0];
    unsigned cp = u[0] & (k == 2 ? 0x1F : k == 3 ? 0x0F : 0x07);
    for (size_t i = 1; i < k; i++)
        cp = (cp << 6) | (u[i] & 0x3F);
    return cp;
}

void utf8_put(Buf *b, unsigned cp)
{
    char t[4];
    if (cp < 0x80) {
        t[0] = (char)cp;
        buf_add(b, t, 1);
    } else if (cp < 0x800) {
        t[0] = (char)(0xC0 | (cp >> 6));
        t[1] = (char)(0x80 | (cp & 0x3F));
        buf_add(b, t, 2);
    } else if (cp < 0x10000) {
        t[0] = (char)(0xE0 | (cp >> 12));
        t[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        t[2] = (char)(0x80 | (cp & 0x3F));
        buf_add(b, t, 3);
    } else {
        t[0] = (char)(0xF0 | (cp >> 18));
        t[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
        t[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
        t[3] = (char)(0x80 | (cp & 0x3F));
        buf_add(b, t, 4);
    }
}

void utf8_clean(Buf *out, const char *text, size_t len)
{
    size_t i = 0;
    buf_add(out, "", 0);
    while (i < len) {
        size_t k = utf8_sequence(text + i, len - i);
        if (k == 0) {
            utf8_put(out, 0xFFFD);
            i++;
        } else {
            buf_add(out, text + i, k);
            i += k;
        }
    }
}
