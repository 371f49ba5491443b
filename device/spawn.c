#include "spawn.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

/* Pipes are made and the child created under this lock: a child inherits
   every inheritable handle there is, and another run's pipe end held by the
   wrong child would keep that run's output open. */
static CRITICAL_SECTION creating;

void spawn_init(void)
{
    InitializeCriticalSection(&creating);
}

double now_seconds(void)
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)f.QuadPart;
}

/* One argument as CommandLineToArgvW and the C run-time read it back. */
static void quote_arg(Buf *cmd, const char *arg)
{
    int plain = *arg != '\0';
    for (const char *p = arg; *p; p++)
        if (strchr(" \t\n\v\"", *p))
            plain = 0;
    if (plain) {
        buf_puts(cmd, arg);
        return;
    }
    buf_putc(cmd, '"');
    for (const char *p = arg;; p++) {
        size_t slashes = 0;
        while (*p == '\\') {
            slashes++;
            p++;
        }
        if (!*p) {
            for (size_t i = 0; i < slashes * 2; i++)
                buf_putc(cmd, '\\');
            break;
        }
        size_t n = *p == '"' ? slashes * 2 + 1 : slashes;
        for (size_t i = 0; i < n; i++)
            buf_putc(cmd, '\\');
        buf_putc(cmd, *p);
    }
    buf_putc(cmd, '"');
}

typedef struct {
    HANDLE pipe;
    Buf *into;
} Drain;

static DWORD WINAPI drain(LPVOID arg)
{
    Drain *d = arg;
    char chunk[4096];
    DWORD got;
    while (ReadFile(d->pipe, chunk, sizeof chunk, &got, NULL) && got > 0)
        buf_add(d->into, chunk, got);
    return 0;
}

static void why(Outcome *o, const char *what)
{
    _snprintf(o->error, sizeof o->error, "%s failed (Windows error %lu)", what, (unsigned long)GetLastError());
    o->error[sizeof o->error - 1] = '\0';
}

void spawn_run(const char *program, char *const *args, int nargs, const char *cwd, double timeout, Outcome *o)
{
    memset(o, 0, sizeof *o);
    buf_add(&o->out, "", 0);
    buf_add(&o->err, "", 0);
    Buf cmd = {0};
    quote_arg(&cmd, program);
    for (int i = 0; i < nargs; i++) {
        buf_putc(&cmd, ' ');
        quote_arg(&cmd, args[i]);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE out_r = NULL, out_w = NULL, err_r = NULL, err_w = NULL, in = INVALID_HANDLE_VALUE;
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (!job) {
        why(o, "CreateJobObject");
        buf_free(&cmd);
        return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    EnterCriticalSection(&creating);
    int made = CreatePipe(&out_r, &out_w, &inherit, 0) && CreatePipe(&err_r, &err_w, &inherit, 0);
    if (made) {
        SetHandleInformation(out_r, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(err_r, HANDLE_FLAG_INHERIT, 0);
        in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
        STARTUPINFOA si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = out_w;
        si.hStdError = err_w;
        /* Suspended until it is in the job, so that nothing it starts escapes. */
        if (CreateProcessA(NULL, cmd.data, NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, cwd, &si, &pi))
            o->started = 1;
        else
            why(o, "CreateProcess");
    } else {
        why(o, "CreatePipe");
    }
    if (out_w)
        CloseHandle(out_w);
    if (err_w)
        CloseHandle(err_w);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    LeaveCriticalSection(&creating);
    buf_free(&cmd);
    if (!o->started) {
        if (out_r)
            CloseHandle(out_r);
        if (err_r)
            CloseHandle(err_r);
        CloseHandle(job);
        return;
    }
    double start = now_seconds();
    AssignProcessToJobObject(job, pi.hProcess);
    Drain dout = {out_r, &o->out}, derr = {err_r, &o->err};
    HANDLE readers[2];
    readers[0] = CreateThread(NULL, 0, drain, &dout, 0, NULL);
    readers[1] = CreateThread(NULL, 0, drain, &derr, 0, NULL);
    ResumeThread(pi.hThread);
    DWORD ms = timeout * 1000.0 > 4e9 ? INFINITE : (DWORD)(timeout * 1000.0);
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_TIMEOUT) {
        o->timed_out = 1;
        TerminateJobObject(job, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    o->seconds = now_seconds() - start;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    o->code = code;
    /* The outcome rests on the program's own exit: what it left behind is
       ended, and with it the last hold on the pipes. */
    TerminateJobObject(job, 1);
    for (int i = 0; i < 2; i++) {
        if (readers[i]) {
            if (WaitForSingleObject(readers[i], 10000) == WAIT_TIMEOUT)
                CloseHandle(i == 0 ? out_r : err_r);
            CloseHandle(readers[i]);
        }
    }
    CloseHandle(out_r);
    CloseHandle(err_r);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(job);
}
