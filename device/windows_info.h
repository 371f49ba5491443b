/* The Windows a run happened on, for the results file's `windows` and
   `host`. */
#ifndef ZEB_WINDOWS_INFO_H
#define ZEB_WINDOWS_INFO_H
typedef struct {
    char version[64];         /* "10.0.22631" */
    unsigned long build;
    char architecture[16];    /* the machine's: "arm64", "x64", "x86", "arm" */
    int emulated;             /* this runner runs under emulation */
    char computer[64];
} WindowsInfo;

void windows_info(WindowsInfo *w);
/* The time now, as "YYYY-MM-DDTHH:MM:SS+00:00". */
void utc_now(char *out, unsigned size);
#endif
