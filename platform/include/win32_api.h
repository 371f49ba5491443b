/* Threads, virtual memory and the other Win32 functions that exception
 * programs reach for, beyond exception handling itself. */
#ifndef ZEB_WIN32_API_H
#define ZEB_WIN32_API_H

#include "seh_types.h"

#endif
