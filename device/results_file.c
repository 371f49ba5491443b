#include "results_file.h"

#include <string.h>

#include "pystr.h"

static void key(Buf *out, const char *k)
{
    json_put_string(out, k, strlen(k));
    buf_puts(out, ": ");
}

static void str(Buf *out, const char *s)
{
    if (s)
        json_put_string(out, s, strlen(s));
    else
        buf_puts(out, "null");
}

/* A member of the manifest's platform (or top level), copied as it is. */
static void copied(Buf *out, const JsonValue *from, const char *k)
{
    const JsonValue *v = json_get(from, k);
    key(out, k);
    if (v)
        json_put_value(out, v);
    else
        buf_puts(out, "null");
    buf_puts(out, ",\n  ");
}

void results_json(Buf *out, const Manifest *m, const WindowsInfo *w, const char *started, const char *regex,
                  const Result *results, size_t n)
{
    buf_puts(out, "{\"format\": 1,\n \"run\": {");
    key(out, "platform");
    str(out, m->platform_name);
    buf_puts(out, ",\n  ");
    copied(out, m->platform, "description");
    copied(out, m->platform, "platform_file");
    copied(out, m->platform, "platform_file_sha256");
    copied(out, m->root, "zeb_commit");
    copied(out, m->root, "zeb_modified");
    key(out, "started");
    str(out, started);
    buf_puts(out, ",\n  ");
    key(out, "host");
    buf_puts(out, "{\"name\": ");
    str(out, w->computer);
    Buf system = {0};
    buf_printf(&system, "Windows %s", w->version);
    buf_puts(out, ", \"system\": ");
    str(out, system.data);
    buf_free(&system);
    buf_puts(out, ", \"machine\": ");
    str(out, w->architecture);
    buf_puts(out, "},\n  ");
    copied(out, m->platform, "tools");
    copied(out, m->root, "programs");
    /* The pack's choice and this run's narrower one, if any. */
    key(out, "regex");
    const JsonValue *packed = json_get(m->root, "regex");
    if (regex)
        str(out, regex);
    else if (packed)
        json_put_value(out, packed);
    else
        buf_puts(out, "null");
    buf_puts(out, ",\n  \"shard\": null,\n  ");
    key(out, "windows");
    buf_puts(out, "{\"version\": ");
    str(out, w->version);
    buf_printf(out, ", \"build\": %lu, \"architecture\": ", w->build);
    str(out, w->architecture);
    buf_printf(out, ", \"emulated\": %s}},\n \"results\": [", w->emulated ? "true" : "false");
    for (size_t i = 0; i < n; i++) {
        const Result *r = &results[i];
        buf_puts(out, i ? ",\n  {" : "\n  {");
        key(out, "name");
        str(out, r->name);
        buf_puts(out, ", ");
        key(out, "verdict");
        str(out, verdict_name(r->verdict));
        buf_puts(out, ", ");
        key(out, "reason");
        str(out, r->reason);
        buf_puts(out, ", ");
        key(out, "failure");
        str(out, r->failure);
        buf_puts(out, ", ");
        key(out, "known");
        str(out, r->known);
        buf_puts(out, ", ");
        key(out, "status");
        if (r->has_status)
            buf_printf(out, "%lu", r->status);
        else
            buf_puts(out, "null");
        buf_puts(out, ", ");
        key(out, "stdout");
        str(out, r->stdout_text);
        buf_puts(out, ", ");
        key(out, "stderr");
        str(out, r->stderr_text);
        buf_puts(out, ", ");
        key(out, "seconds");
        py_seconds(out, r->seconds);
        buf_printf(out, ", \"attempts\": %d}", r->attempts);
    }
    buf_puts(out, "]}\n");
}
