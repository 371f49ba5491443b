#include "json.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "utf8.h"

typedef struct {
    const char *s;
    size_t len, pos;
    char *error;
    size_t error_size;
    int failed;
} Reader;

static void fail(Reader *r, const char *what)
{
    if (r->failed)
        return;
    r->failed = 1;
    size_t line = 1, column = 1;
    for (size_t i = 0; i < r->pos && i < r->len; i++) {
        if (r->s[i] == '\n') {
            line++;
            column = 1;
        } else {
            column++;
        }
    }
    _snprintf(r->error, r->error_size, "line %lu, column %lu: %s", (unsigned long)line, (unsigned long)column,
              what);
    r->error[r->error_size - 1] = '\0';
}

static void skip_space(Reader *r)
{
    while (r->pos < r->len && strchr(" \t\r\n", r->s[r->pos]) && r->s[r->pos])
        r->pos++;
}

static int literal(Reader *r, const char *word)
{
    size_t n = strlen(word);
    if (r->len - r->pos < n || memcmp(r->s + r->pos, word, n) != 0) {
        fail(r, "not a JSON value");
        return 0;
    }
    r->pos += n;
    return 1;
}

static int hex4(Reader *r, unsigned *out)
{
    unsigned v = 0;
    if (r->len - r->pos < 4) {
        fail(r, "a \\u escape needs four hex digits");
        return 0;
    }
    for (int i = 0; i < 4; i++) {
        char c = r->s[r->pos++];
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= (unsigned)(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= (unsigned)(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v |= (unsigned)(c - 'A' + 10);
        else {
            fail(r, "a \\u escape needs four hex digits");
            return 0;
        }
    }
    *out = v;
    return 1;
}

static int parse_string(Reader *r, char **out, size_t *out_len)
{
    Buf b = {0};
    r->pos++; /* the opening quote */
    for (;;) {
        if (r->pos >= r->len) {
            fail(r, "a string is not closed");
            break;
        }
        unsigned char c = (unsigned char)r->s[r->pos];
        if (c == '"') {
            r->pos++;
            buf_add(&b, "", 0);
            *out = b.data;
            *out_len = b.len;
            return 1;
        }
        if (c < 0x20) {
            fail(r, "a control character inside a string");
            break;
        }
        if (c != '\\') {
            size_t n = utf8_sequence(r->s + r->pos, r->len - r->pos);
            if (n == 0) {
                fail(r, "a string that is not UTF-8");
                break;
            }
            buf_add(&b, r->s + r->pos, n);
            r->pos += n;
            continue;
        }
        r->pos++;
        if (r->pos >= r->len) {
            fail(r, "a string is not closed");
            break;
        }
        char e = r->s[r->pos++];
        const char *plain = strchr("\"\\/bfnrt", e);
        if (plain && e) {
            static const char value[] = "\"\\/\b\f\n\r\t";
            buf_putc(&b, value[plain - "\"\\/bfnrt"]);
            continue;
        }
        if (e != 'u') {
            fail(r, "an unknown escape in a string");
            break;
        }
        unsigned cp, low;
        if (!hex4(r, &cp))
            break;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (r->len - r->pos < 2 || r->s[r->pos] != '\\' || r->s[r->pos + 1] != 'u') {
                fail(r, "a lone surrogate escape");
                break;
            }
            r->pos += 2;
            if (!hex4(r, &low))
                break;
            if (low < 0xDC00 || low > 0xDFFF) {
                fail(r, "a lone surrogate escape");
                break;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            fail(r, "a lone surrogate escape");
            break;
        }
        utf8_put(&b, cp);
    }
    buf_free(&b);
    return 0;
}

static int parse_number(Reader *r, double *out)
{
    size_t start = r->pos;
    if (r->pos < r->len && r->s[r->pos] == '-')
        r->pos++;
    if (r->pos < r->len && r->s[r->pos] == '0') {
        r->pos++;
    } else if (r->pos < r->len && r->s[r->pos] >= '1' && r->s[r->pos] <= '9') {
        while (r->pos < r->len && r->s[r->pos] >= '0' && r->s[r->pos] <= '9')
            r->pos++;
    } else {
        fail(r, "not a JSON value");
        return 0;
    }
    if (r->pos < r->len && r->s[r->pos] == '.') {
        r->pos++;
        size_t digits = r->pos;
        while (r->pos < r->len && r->s[r->pos] >= '0' && r->s[r->pos] <= '9')
            r->pos++;
        if (r->pos == digits) {
            fail(r, "a number without digits after its point");
            return 0;
        }
    }
    if (r->pos < r->len && (r->s[r->pos] == 'e' || r->s[r->pos] == 'E')) {
        r->pos++;
        if (r->pos < r->len && (r->s[r->pos] == '+' || r->s[r->pos] == '-'))
            r->pos++;
        size_t digits = r->pos;
        while (r->pos < r->len && r->s[r->pos] >= '0' && r->s[r->pos] <= '9')
            r->pos++;
        if (r->pos == digits) {
            fail(r, "a number without digits in its exponent");
            return 0;
        }
    }
    char *text = xstrndup(r->s + start, r->pos - start);
    /* Checked above as JSON's grammar: atof reads all of it. */
    *out = atof(text);
    free(text);
    return 1;
}

static int parse_value(Reader *r, JsonValue *v, int depth);

static int parse_items(Reader *r, JsonValue *v, int depth, int object)
{
    size_t cap = 0;
    r->pos++; /* [ or { */
    skip_space(r);
    char close = object ? '}' : ']';
    if (r->pos < r->len && r->s[r->pos] == close) {
        r->pos++;
        return 1;
    }
    for (;;) {
        if (v->count == cap) {
            cap = cap ? cap * 2 : 8;
            v->items = xrealloc(v->items, cap * sizeof *v->items);
            if (object)
                v->keys = xrealloc(v->keys, cap * sizeof *v->keys);
        }
        JsonValue *item = &v->items[v->count];
        memset(item, 0, sizeof *item);
        if (object) {
            skip_space(r);
            if (r->pos >= r->len || r->s[r->pos] != '"') {
                fail(r, "an object's key must be a string");
                return 0;
            }
            size_t klen;
            if (!parse_string(r, &v->keys[v->count], &klen))
                return 0;
            v->count++;
            skip_space(r);
            if (r->pos >= r->len || r->s[r->pos] != ':') {
                fail(r, "':' expected after an object's key");
                return 0;
            }
            r->pos++;
        } else {
            v->count++;
        }
        if (!parse_value(r, item, depth + 1))
            return 0;
        skip_space(r);
        if (r->pos < r->len && r->s[r->pos] == ',') {
            r->pos++;
            continue;
        }
        if (r->pos < r->len && r->s[r->pos] == close) {
            r->pos++;
            return 1;
        }
        fail(r, object ? "',' or '}' expected" : "',' or ']' expected");
        return 0;
    }
}

static int parse_value(Reader *r, JsonValue *v, int depth)
{
    if (depth > JSON_MAX_DEPTH) {
        fail(r, "nested too deep");
        return 0;
    }
    skip_space(r);
    if (r->pos >= r->len) {
        fail(r, "the text ends where a value should be");
        return 0;
    }
    switch (r->s[r->pos]) {
    case '{':
        v->type = J_OBJECT;
        return parse_items(r, v, depth, 1);
    case '[':
        v->type = J_ARRAY;
        return parse_items(r, v, depth, 0);
    case '"':
        v->type = J_STRING;
        return parse_string(r, &v->string, &v->len);
    case 't':
        v->type = J_BOOL;
        v->boolean = 1;
        return literal(r, "true");
    case 'f':
        v->type = J_BOOL;
        return literal(r, "false");
    case 'n':
        v->type = J_NULL;
        return literal(r, "null");
    default:
        v->type = J_NUMBER;
        return parse_number(r, &v->number);
    }
}

static void free_inside(JsonValue *v)
{
    for (size_t i = 0; i < v->count; i++) {
        free_inside(&v->items[i]);
        if (v->keys)
            free(v->keys[i]);
    }
    free(v->items);
    free(v->keys);
    free(v->string);
}

JsonValue *json_parse(const char *text, size_t len, char *error, size_t error_size)
{
    Reader r = {text, len, 0, error, error_size, 0};
    JsonValue *v = xmalloc(sizeof *v);
    memset(v, 0, sizeof *v);
    if (parse_value(&r, v, 0)) {
        skip_space(&r);
        if (r.pos != r.len)
            fail(&r, "text after the JSON value");
    }
    if (r.failed) {
        free_inside(v);
        free(v);
        return NULL;
    }
    return v;
}

void json_free(JsonValue *v)
{
    if (v) {
        free_inside(v);
        free(v);
    }
}

const JsonValue *json_get(const JsonValue *v, const char *key)
{
    if (!v || v->type != J_OBJECT)
        return NULL;
    for (size_t i = 0; i < v->count; i++)
        if (strcmp(v->keys[i], key) == 0)
            return &v->items[i];
    return NULL;
}

void json_put_string(Buf *out, const char *text, size_t len)
{
    buf_putc(out, '"');
    size_t i = 0;
    while (i < len) {
        unsigned char c = (unsigned char)text[i];
        if (c == '"' || c == '\\') {
            buf_putc(out, '\\');
            buf_putc(out, (char)c);
            i++;
        } else if (c == '\n') {
            buf_puts(out, "\\n");
            i++;
        } else if (c == '\r') {
            buf_puts(out, "\\r");
            i++;
        } else if (c == '\t') {
            buf_puts(out, "\\t");
            i++;
        } else if (c < 0x20 || c == 0x7f) {
            buf_printf(out, "\\u%04x", c);
            i++;
        } else if (c < 0x80) {
            buf_putc(out, (char)c);
            i++;
        } else {
            size_t n = utf8_sequence(text + i, len - i);
            if (n == 0) {
                buf_puts(out, "\xEF\xBF\xBD");
                i++;
            } else {
                buf_add(out, text + i, n);
                i += n;
            }
        }
    }
    buf_putc(out, '"');
}

void json_put_value(Buf *out, const JsonValue *v)
{
    switch (v->type) {
    case J_NULL:
        buf_puts(out, "null");
        break;
    case J_BOOL:
        buf_puts(out, v->boolean ? "true" : "false");
        break;
    case J_NUMBER:
        buf_printf(out, "%.17g", v->number);
        break;
    case J_STRING:
        json_put_string(out, v->string, v->len);
        break;
    case J_ARRAY:
    case J_OBJECT:
        buf_putc(out, v->type == J_ARRAY ? '[' : '{');
        for (size_t i = 0; i < v->count; i++) {
            if (i)
                buf_puts(out, ", ");
            if (v->type == J_OBJECT) {
                json_put_string(out, v->keys[i], strlen(v->keys[i]));
                buf_puts(out, ": ");
            }
            json_put_value(out, &v->items[i]);
        }
        buf_putc(out, v->type == J_ARRAY ? ']' : '}');
        break;
    }
}
