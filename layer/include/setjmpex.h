/* The unwinding setjmp variant; on this platform every long jump unwinds. */
#ifndef ZEB_SETJMPEX_H
#define ZEB_SETJMPEX_H
#include "setjmp.h"
#endif
