/* zeb-run: runs an unpacked pack of the suite's programs on the Windows it
   is on, judges every run as `./zeb run` does, prints the same table and
   closing lines and writes results.json and JUnit for bringing back.

     zeb-run.exe [REGEX] [--timeout S] [--jobs N] [--out DIR]

   Exit status 0 when nothing failed and everything ran, 1 when something
   did not, 2 when the pack or the command line cannot be used. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "buf.h"
#include "judge.h"
#include "manifest.h"
#include "report.h"
#include "result.h"
#include "results_file.h"
#include "spawn.h"
#include "utf8.h"
#include "windows_info.h"

typedef struct {
    const char *regex;
    double timeout;     /* 0: each run's own */
    int jobs;
    const char *out;
} Options;

static void usage_error(const char *what, const char *arg)
{
    fprintf(stderr, "zeb-run: %s%s (usage: zeb-run.exe [REGEX] [--timeout S] [--jobs N] [--out DIR])\n", what,
            arg ? arg : "");
    exit(2);
}

/* A number of seconds, as a plain decimal: what atof reads whole. */
static int decimal(const char *s)
{
    int digits = 0, point = 0;
    for (; *s; s++) {
        if (*s >= '0' && *s <= '9')
            digits++;
        else if (*s == '.' && !point)
            point = 1;
        else
            return 0;
    }
    return digits > 0;
}

static void parse_options(int argc, char **argv, Options *o)
{
    memset(o, 0, sizeof *o);
    o->jobs = 2;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        int has_value = i + 1 < argc;
        char *end;
        if (strcmp(a, "--timeout") == 0) {
            if (!has_value)
                usage_error("--timeout needs a number of seconds", NULL);
            i++;
            o->timeout = decimal(argv[i]) ? atof(argv[i]) : 0;
            if (!(o->timeout > 0) || o->timeout > 86400)
                usage_error("--timeout must be more than 0 seconds and at most a day, not ", argv[i]);
        } else if (strcmp(a, "--jobs") == 0) {
            if (!has_value)
                usage_error("--jobs needs a number", NULL);
            long jobs = strtol(argv[++i], &end, 10);
            if (*end || jobs < 1 || jobs > 64)
                usage_error("--jobs must be from 1 to 64, not ", argv[i]);
            o->jobs = (int)jobs;
        } else if (strcmp(a, "--out") == 0) {
            if (!has_value)
                usage_error("--out needs a folder", NULL);
            o->out = argv[++i];
        } else if (a[0] == '-' && a[1]) {
            usage_error("unknown option ", a);
        } else if (o->regex) {
            usage_error("only one REGEX may be given; another: ", a);
        } else {
            o->regex = a;
        }
    }
}

static char *joined(const char *folder, const char *name)
{
    Buf b = {0};
    buf_printf(&b, "%s\\%s", folder, name);
    for (char *p = b.data; *p; p++)
        if (*p == '/')
            *p = '\\';
    return b.data;
}

/* The folder that holds this runner, and with it the pack. */
static char *pack_folder(void)
{
    char path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        fputs("zeb-run: cannot tell which folder this runner is in\n", stderr);
        exit(2);
    }
    char *slash = strrchr(path, '\\');
    char *other = strrchr(path, '/');
    if (other > slash)
        slash = other;
    if (slash)
        *slash = '\0';
    else
        strcpy(path, ".");
    /* Wine run under qemu-user can name this runner by a "unix\..." path
       that its own file functions do not take; the folder one is in, where
       the pack is unpacked, serves then. */
    char *manifest = joined(path, "manifest.json");
    int there = GetFileAttributesA(manifest) != INVALID_FILE_ATTRIBUTES;
    free(manifest);
    if (!there && GetFileAttributesA("manifest.json") != INVALID_FILE_ATTRIBUTES)
        strcpy(path, ".");
    return xstrdup(path);
}


/* What a run printed, as the harness keeps it: Python's decoding, cut after
   OUTPUT_LIMIT characters. */
static char *bounded(const char *text)
{
    size_t len = strlen(text), i = 0, chars = 0;
    while (i < len && chars < OUTPUT_LIMIT) {
        size_t k;
        utf8_decode(text + i, len - i, &k);
        i += k;
        chars++;
    }
    if (i >= len)
        return xstrdup(text);
    size_t more = 0;
    for (size_t j = i; j < len;) {
        size_t k;
        utf8_decode(text + j, len - j, &k);
        j += k;
        more++;
    }
    Buf b = {0};
    buf_add(&b, text, i);
    buf_printf(&b, "\n[%lu more characters]", (unsigned long)more);
    return b.data;
}

static void decoded(Buf *into, const Buf *raw, int text_mode)
{
    Buf clean = {0};
    utf8_clean(&clean, raw->data ? raw->data : "", raw->len);
    buf_add(into, "", 0);
    for (size_t i = 0; i < clean.len; i++) {
        if (text_mode && clean.data[i] == '\r' && i + 1 < clean.len && clean.data[i + 1] == '\n')
            continue;
        buf_putc(into, clean.data[i]);
    }
    buf_free(&clean);
}

typedef struct {
    const Manifest *m;
    const Options *o;
    const char *folder;
    RunSpec **chosen;
    Result *results;
    size_t n;
    size_t next;
    CRITICAL_SECTION lock;
} Pool;

static void unresolved(Result *r, const char *why)
{
    r->verdict = V_UNRESOLVED;
    r->reason = xstrdup(why);
    r->failure = xstrdup(why);
    r->known = "";
    r->stdout_text = xstrdup("");
    r->stderr_text = xstrdup("");
}

static void judged(Result *r, const Known *entry, int passed, const char *failure, int timed_out)
{
    Buf shown = {0};
    r->verdict = judge_known(passed, failure, entry, timed_out, &shown);
    r->reason = shown.data;
    r->failure = xstrdup(failure);
    r->known = entry ? entry->reason : "";
}

static void run_one(Pool *p, const RunSpec *run, Result *r)
{
    memset(r, 0, sizeof *r);
    r->name = run->name;
    r->attempts = 1;
    const Known *entry = manifest_known(p->m, run->name);
    if (run->not_built) {
        judged(r, entry, 0, run->not_built, 0);
        r->stdout_text = xstrdup("");
        r->stderr_text = xstrdup("");
        return;
    }
    char *path = joined(p->folder, run->program);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        Buf why = {0};
        buf_printf(&why, "not run: its program %s is not in the pack's folder", run->program);
        unresolved(r, why.data);
        r->attempts = 0;
        buf_free(&why);
        free(path);
        return;
    }
    double timeout = p->o->timeout > 0 ? p->o->timeout : run->timeout;
    /* The program's own folder, as `./zeb run` runs it; the current one
       where the pack is only known as that (see pack_folder). */
    char *cwd = xstrdup(path);
    *strrchr(cwd, '\\') = '\0';
    if (strcmp(p->folder, ".") == 0) {
        free(cwd);
        cwd = NULL;
    }
    Outcome out;
    spawn_run(path, run->args, run->nargs, cwd, timeout, &out);
    free(cwd);
    free(path);
    if (!out.started) {
        Buf why = {0};
        buf_printf(&why, "the runner could not run it (%s)", out.error);
        unresolved(r, why.data);
        buf_free(&why);
        return;
    }
    Buf so = {0}, se = {0}, reason = {0};
    decoded(&so, &out.out, p->m->text_mode);
    decoded(&se, &out.err, 0);
    Observed o = {out.code, so.data, so.len, se.data, se.len, out.timed_out, timeout};
    int passed = judge(&o, run->lines, run->nlines, run->status, &reason);
    judged(r, entry, passed, buf_text(&reason), out.timed_out);
    r->has_status = !out.timed_out;
    r->status = out.code;
    r->stdout_text = bounded(so.data);
    r->stderr_text = bounded(se.data);
    r->seconds = (double)(long long)(out.seconds * 1000.0 + 0.5) / 1000.0;
    buf_free(&so);
    buf_free(&se);
    buf_free(&reason);
    buf_free(&out.out);
    buf_free(&out.err);
}

static DWORD WINAPI worker(LPVOID arg)
{
    Pool *p = arg;
    for (;;) {
        EnterCriticalSection(&p->lock);
        size_t i = p->next++;
        LeaveCriticalSection(&p->lock);
        if (i >= p->n)
            return 0;
        run_one(p, p->chosen[i], &p->results[i]);
    }
}

static int by_name(const void *a, const void *b)
{
    return strcmp(((const Result *)a)->name, ((const Result *)b)->name);
}

/* Writes TEXT to FOLDER\NAME through a temporary file, so that a file
   brought back is never half written; 0 on failure. */
static int write_file(const char *folder, const char *name, const Buf *text)
{
    char *path = joined(folder, name);
    Buf temporary = {0};
    buf_printf(&temporary, "%s.tmp", path);
    FILE *f = fopen(temporary.data, "wb");
    int ok = f && fwrite(text->data, 1, text->len, f) == text->len;
    if (f && fclose(f) != 0)
        ok = 0;
    if (ok)
        ok = MoveFileExA(temporary.data, path, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok)
        DeleteFileA(temporary.data);
    buf_free(&temporary);
    free(path);
    return ok;
}

static void ensure_writable(const char *out)
{
    CreateDirectoryA(out, NULL);
    Buf probe = {0};
    buf_puts(&probe, "");
    DWORD attributes = GetFileAttributesA(out);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !write_file(out, "results.json", &probe)) {
        fprintf(stderr, "zeb-run: cannot write results into %s (no such folder, or not writable)\n", out);
        exit(2);
    }
    buf_free(&probe);
}

int main(int argc, char **argv)
{
    Options o;
    parse_options(argc, argv, &o);
    char *folder = pack_folder();
    char *manifest_path = joined(folder, "manifest.json");
    Manifest m;
    char error[600];
    if (!manifest_load(manifest_path, &m, error, sizeof error)) {
        fprintf(stderr, "zeb-run: %s\n", error);
        return 2;
    }
    Regex *select = NULL;
    if (o.regex) {
        /* re.search, as `./zeb run REGEX` picks runs; a leading ^ and a
           trailing $ anchor it. */
        Buf pattern = {0};
        size_t n = strlen(o.regex);
        int start = o.regex[0] == '^', end = n > (size_t)start && o.regex[n - 1] == '$';
        buf_printf(&pattern, "%s(?:%.*s)%s", start ? "" : ".*", (int)(n - start - end), o.regex + start,
                   end ? "" : ".*");
        select = regex_compile(pattern.data, error, sizeof error);
        buf_free(&pattern);
        if (!select) {
            fprintf(stderr, "zeb-run: REGEX: %s\n", error);
            return 2;
        }
    }
    const char *out = o.out ? o.out : folder;
    ensure_writable(out);

    Pool p;
    memset(&p, 0, sizeof p);
    p.m = &m;
    p.o = &o;
    p.folder = folder;
    p.chosen = xmalloc((m.nruns + 1) * sizeof *p.chosen);
    for (size_t i = 0; i < m.nruns; i++)
        if (!select || regex_fullmatch(select, m.runs[i].name, strlen(m.runs[i].name)))
            p.chosen[p.n++] = &m.runs[i];
    p.results = xmalloc((p.n + 1) * sizeof *p.results);
    InitializeCriticalSection(&p.lock);
    spawn_init();
    char started[40];
    utc_now(started, sizeof started);
    WindowsInfo w;
    windows_info(&w);
    printf("zeb-run: %s: running %lu programs on Windows %s (%s%s) ...\n", m.platform_name, (unsigned long)p.n,
           w.version, w.architecture, w.emulated ? ", emulated" : "");
    fflush(stdout);

    int jobs = o.jobs < (int)p.n ? o.jobs : (int)p.n;
    HANDLE threads[64];
    int nthreads = 0;
    for (int i = 0; i < jobs; i++) {
        threads[nthreads] = CreateThread(NULL, 0, worker, &p, 0, NULL);
        if (threads[nthreads])
            nthreads++;
    }
    if (nthreads == 0 && p.n > 0)
        worker(&p);
    for (int i = 0; i < nthreads; i++) {
        WaitForSingleObject(threads[i], INFINITE);
        CloseHandle(threads[i]);
    }
    qsort(p.results, p.n, sizeof *p.results, by_name);

    Buf text = {0}, json = {0}, junit = {0};
    if (p.n == 0)
        printf(o.regex ? "zeb-run: no program matches '%s'\n" : "zeb-run: no program was run\n", o.regex);
    report_table(&text, p.results, p.n, m.platform_name);
    fputs(buf_text(&text), stdout);
    results_json(&json, &m, &w, started, o.regex, p.results, p.n);
    report_junit(&junit, p.results, p.n, m.platform_name);
    if (!write_file(out, "results.json", &json) || !write_file(out, "results.xml", &junit)) {
        fprintf(stderr, "zeb-run: cannot write results into %s\n", out);
        return 2;
    }
    printf("zeb-run: results in %s\\results.json (JUnit: results.xml)\n", out);
    buf_free(&text);
    report_closing(&text, p.results, p.n);
    fputs(buf_text(&text), stdout);
    fflush(stdout);
    return report_run_ok(p.results, p.n) ? 0 : 1;
}
