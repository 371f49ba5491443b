/* results.json: the harness's results format (format 1, harness/results.py),
   with the run's `windows`. */
#ifndef ZEB_RESULTS_FILE_H
#define ZEB_RESULTS_FILE_H
#include <stddef.h>

#include "buf.h"
#include "manifest.h"
#include "result.h"
#include "windows_info.h"

void results_json(Buf *out, const Manifest *m, const WindowsInfo *w, const char *started, const char *regex,
                  const Result *results, size_t n);
#endif
