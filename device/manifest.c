#include "manifest.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A manifest bigger than this is no manifest of a pack. */
#define MAX_MANIFEST (64L * 1024 * 1024)

typedef struct {
    char *error;
    size_t size;
} Err;

static int bad(Err *e, const char *fmt, const char *a, const char *b)
{
    _snprintf(e->error, e->size, fmt, a, b);
    e->error[e->size - 1] = '\0';
    return 0;
}

static const JsonValue *member(const JsonValue *obj, const char *key, JsonType type, int nullable)
{
    const JsonValue *v = json_get(obj, key);
    if (!v)
        return NULL;
    if (v->type == type || (nullable && v->type == J_NULL))
        return v;
    return NULL;
}

static int whole_number(const JsonValue *v, double max)
{
    return v && v->type == J_NUMBER && v->number >= 0 && v->number <= max && v->number == (double)(long long)v->number;
}

static char *string_or_null(const JsonValue *v)
{
    return v && v->type == J_STRING ? v->string : NULL;
}

static int escaped_literal(Buf *pattern, const char *s, size_t len)
{
    for (size_t i = 0; i < len; i++) {
        char c = s[i];
        if (c == '\0')
            return 0;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            buf_putc(pattern, '\\');
        buf_putc(pattern, c);
    }
    return 1;
}

/* One expected line: its pieces alternate literal text and {{pattern}}. */
static int load_line(const JsonValue *pieces, ExpectedLine *line, const char *run, Err *e)
{
    if (pieces->type != J_ARRAY || pieces->count % 2 == 0)
        return bad(e, "run %s: an expected line must be a list of an odd number of pieces%s", run, "");
    Buf raw = {0}, pattern = {0};
    buf_add(&raw, "", 0);
    for (size_t i = 0; i < pieces->count; i++) {
        const JsonValue *p = &pieces->items[i];
        if (p->type != J_STRING) {
            buf_free(&raw);
            buf_free(&pattern);
            return bad(e, "run %s: an expected line's pieces must be strings%s", run, "");
        }
        if (i % 2) {
            buf_puts(&raw, "{{");
            buf_add(&raw, p->string, p->len);
            buf_puts(&raw, "}}");
            buf_puts(&pattern, "(?:");
            buf_add(&pattern, p->string, p->len);
            buf_puts(&pattern, ")");
        } else {
            buf_add(&raw, p->string, p->len);
            if (pieces->count > 1 && !escaped_literal(&pattern, p->string, p->len)) {
                buf_free(&raw);
                buf_free(&pattern);
                return bad(e, "run %s: a patterned expected line holds a NUL%s", run, "");
            }
        }
    }
    line->raw = raw.data;
    line->raw_len = raw.len;
    line->re = NULL;
    if (pieces->count > 1) {
        char why[300];
        line->re = regex_compile(buf_text(&pattern), why, sizeof why);
        buf_free(&pattern);
        if (!line->re)
            return bad(e, "run %s: %s", run, why);
    }
    return 1;
}

static int load_run(const JsonValue *r, RunSpec *run, Err *e)
{
    const JsonValue *name = member(r, "name", J_STRING, 0);
    if (!name)
        return bad(e, "a run without its 'name'%s%s", "", "");
    memset(run, 0, sizeof *run);
    run->name = name->string;
    const JsonValue *program = member(r, "program", J_STRING, 1), *not_built = member(r, "not_built", J_STRING, 1);
    const JsonValue *args = member(r, "args", J_ARRAY, 0), *status = json_get(r, "status");
    const JsonValue *output = member(r, "output", J_ARRAY, 0), *timeout = member(r, "timeout", J_NUMBER, 0);
    if (!program || !not_built || !args || !output || !timeout)
        return bad(e, "run %s: 'program', 'not_built', 'args', 'output' and 'timeout' are needed, each of its "
                   "type%s", run->name, "");
    run->program = string_or_null(program);
    run->not_built = string_or_null(not_built);
    if (!run->program == !run->not_built)
        return bad(e, "run %s: exactly one of 'program' and 'not_built' must be given%s", run->name, "");
    if (run->program && (strstr(run->program, "..") || strchr(run->program, ':') || run->program[0] == '/' ||
                         run->program[0] == '\\'))
        return bad(e, "run %s: its program '%s' must be a path inside the pack", run->name, run->program);
    if (!whole_number(status, 4294967295.0))
        return bad(e, "run %s: 'status' must be a whole number from 0 to 4294967295%s", run->name, "");
    run->status = (unsigned long)status->number;
    if (timeout->number <= 0)
        return bad(e, "run %s: 'timeout' must be more than 0%s", run->name, "");
    run->timeout = timeout->number;
    run->nargs = (int)args->count;
    run->args = xmalloc((args->count + 1) * sizeof *run->args);
    for (size_t i = 0; i < args->count; i++) {
        if (args->items[i].type != J_STRING)
            return bad(e, "run %s: its 'args' must be strings%s", run->name, "");
        run->args[i] = args->items[i].string;
    }
    run->lines = xmalloc((output->count + 1) * sizeof *run->lines);
    for (size_t i = 0; i < output->count; i++) {
        if (!load_line(&output->items[i], &run->lines[i], run->name, e))
            return 0;
        run->nlines++;
    }
    return 1;
}

static int load_known(const JsonValue *k, Known *known, Err *e)
{
    const JsonValue *name = member(k, "name", J_STRING, 0), *reason = member(k, "reason", J_STRING, 0);
    const JsonValue *match = member(k, "match", J_STRING, 1), *flaky = member(k, "flaky", J_BOOL, 0);
    if (!name || !reason || !match || !flaky)
        return bad(e, "an expected failure needs 'name', 'reason', 'match' and 'flaky', each of its type%s%s", "",
                   "");
    known->name = name->string;
    known->reason = reason->string;
    known->match = string_or_null(match);
    known->flaky = flaky->boolean;
    return 1;
}

static char *read_all(const char *path, size_t *len, Err *e)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        bad(e, "%s: cannot be read (is zeb-run.exe in the unpacked pack's folder?)%s", path, "");
        return NULL;
    }
    Buf b = {0};
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) {
        buf_add(&b, chunk, got);
        if (b.len > MAX_MANIFEST) {
            fclose(f);
            buf_free(&b);
            bad(e, "%s: too big for a manifest%s", path, "");
            return NULL;
        }
    }
    fclose(f);
    buf_add(&b, "", 0);
    *len = b.len;
    return b.data;
}

int manifest_load(const char *path, Manifest *m, char *error, size_t error_size)
{
    Err e = {error, error_size};
    memset(m, 0, sizeof *m);
    size_t len;
    char *text = read_all(path, &len, &e);
    if (!text)
        return 0;
    char why[200];
    m->root = json_parse(text, len, why, sizeof why);
    free(text);
    if (!m->root)
        return bad(&e, "%s: damaged (not JSON: %s)", path, why);
    const JsonValue *format = json_get(m->root, "format");
    if (m->root->type != J_OBJECT || !format)
        return bad(&e, "%s: not a pack's manifest (no 'format')%s", path, "");
    if (format->type != J_NUMBER || format->number != MANIFEST_FORMAT)
        return bad(&e, "%s: a manifest of another format; this zeb-run reads format 1%s", path, "");
    m->platform = member(m->root, "platform", J_OBJECT, 0);
    const JsonValue *name = m->platform ? member(m->platform, "name", J_STRING, 0) : NULL;
    const JsonValue *text_mode = m->platform ? member(m->platform, "text_mode", J_BOOL, 0) : NULL;
    const JsonValue *runs = member(m->root, "runs", J_ARRAY, 0);
    const JsonValue *known = member(m->root, "expected_failures", J_ARRAY, 0);
    if (!name || !text_mode || !runs || !known)
        return bad(&e, "%s: damaged: 'platform' (with 'name' and 'text_mode'), 'runs' and 'expected_failures' "
                   "are needed%s", path, "");
    m->platform_name = name->string;
    m->text_mode = text_mode->boolean;
    m->runs = xmalloc((runs->count + 1) * sizeof *m->runs);
    char inner[400];
    Err ie = {inner, sizeof inner};
    for (size_t i = 0; i < runs->count; i++) {
        if (!load_run(&runs->items[i], &m->runs[i], &ie))
            return bad(&e, "%s: damaged: %s", path, inner);
        for (size_t j = 0; j < i; j++)
            if (strcmp(m->runs[j].name, m->runs[i].name) == 0)
                return bad(&e, "%s: damaged: run %s is there twice", path, m->runs[i].name);
        m->nruns++;
    }
    m->known = xmalloc((known->count + 1) * sizeof *m->known);
    for (size_t i = 0; i < known->count; i++) {
        if (!load_known(&known->items[i], &m->known[i], &ie))
            return bad(&e, "%s: damaged: %s", path, inner);
        m->nknown++;
    }
    return 1;
}

const Known *manifest_known(const Manifest *m, const char *name)
{
    for (size_t i = 0; i < m->nknown; i++)
        if (strcmp(m->known[i].name, name) == 0)
            return &m->known[i];
    return NULL;
}
