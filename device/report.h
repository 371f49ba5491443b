/* The table, the closing lines and JUnit, as harness/report.py makes them. */
#ifndef ZEB_REPORT_H
#define ZEB_REPORT_H
#include <stddef.h>

#include "buf.h"
#include "result.h"

void report_table(Buf *out, const Result *results, size_t n, const char *platform);
void report_closing(Buf *out, const Result *results, size_t n);
/* Whether the run may end with status 0. */
int report_run_ok(const Result *results, size_t n);
void report_junit(Buf *out, const Result *results, size_t n, const char *platform);
#endif
