#include "windows_info.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

/* What this runner itself was built for. */
#if defined(__aarch64__) || defined(_M_ARM64)
#define OWN_MACHINE 0xAA64
#elif defined(__x86_64__) || defined(_M_X64)
#define OWN_MACHINE 0x8664
#elif defined(__arm__) || defined(_M_ARM)
#define OWN_MACHINE 0x01C4
#else
#define OWN_MACHINE 0x014C
#endif

typedef LONG(WINAPI *RtlGetVersionFn)(OSVERSIONINFOW *);
typedef BOOL(WINAPI *IsWow64Process2Fn)(HANDLE, USHORT *, USHORT *);
typedef void(WINAPI *GetNativeSystemInfoFn)(SYSTEM_INFO *);

static const char *machine_name(unsigned machine)
{
    switch (machine) {
    case 0xAA64: return "arm64";
    case 0x8664: return "x64";
    case 0x01C4: return "arm";
    case 0x014C: return "x86";
    default: return "unknown";
    }
}

static unsigned machine_of_architecture(WORD arch)
{
    switch (arch) {
    case 12: return 0xAA64;   /* PROCESSOR_ARCHITECTURE_ARM64 */
    case 9: return 0x8664;    /* PROCESSOR_ARCHITECTURE_AMD64 */
    case 5: return 0x01C4;    /* PROCESSOR_ARCHITECTURE_ARM */
    case 0: return 0x014C;    /* PROCESSOR_ARCHITECTURE_INTEL */
    default: return 0;
    }
}

void windows_info(WindowsInfo *w)
{
    memset(w, 0, sizeof *w);
    strcpy(w->version, "unknown");
    /* RtlGetVersion, unlike GetVersionEx, does not lie to programs without
       a manifest. */
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    RtlGetVersionFn get_version = ntdll ? (RtlGetVersionFn)(void *)GetProcAddress(ntdll, "RtlGetVersion") : NULL;
    if (get_version) {
        OSVERSIONINFOW v;
        memset(&v, 0, sizeof v);
        v.dwOSVersionInfoSize = sizeof v;
        if (get_version(&v) == 0) {
            _snprintf(w->version, sizeof w->version, "%lu.%lu.%lu", (unsigned long)v.dwMajorVersion,
                      (unsigned long)v.dwMinorVersion, (unsigned long)v.dwBuildNumber);
            w->version[sizeof w->version - 1] = '\0';
            w->build = v.dwBuildNumber;
        }
    }
    unsigned native = 0;
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    IsWow64Process2Fn wow = kernel32 ? (IsWow64Process2Fn)(void *)GetProcAddress(kernel32, "IsWow64Process2") : NULL;
    USHORT process_machine = 0, native_machine = 0;
    if (wow && wow(GetCurrentProcess(), &process_machine, &native_machine))
        native = native_machine;
    if (!native) {
        /* Before Windows 10 1709 there is no IsWow64Process2. */
        GetNativeSystemInfoFn info =
            kernel32 ? (GetNativeSystemInfoFn)(void *)GetProcAddress(kernel32, "GetNativeSystemInfo") : NULL;
        SYSTEM_INFO si;
        memset(&si, 0, sizeof si);
        if (info)
            info(&si);
        else
            GetSystemInfo(&si);
        native = machine_of_architecture(si.wProcessorArchitecture);
    }
    strcpy(w->architecture, machine_name(native));
    /* x64 programs on ARM64 are emulated without being WOW64 processes: the
       machine's architecture against the runner's own says it either way. */
    w->emulated = native != 0 && native != OWN_MACHINE;
    DWORD size = sizeof w->computer;
    if (!GetComputerNameA(w->computer, &size))
        strcpy(w->computer, "unknown");
}

void utc_now(char *out, unsigned size)
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    _snprintf(out, size, "%04u-%02u-%02uT%02u:%02u:%02u+00:00", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
              t.wSecond);
    out[size - 1] = '\0';
}
