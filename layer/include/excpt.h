/* Exception filters and handlers: the verdicts and the intrinsics that are
 * only valid inside a filter, an exception handler or a termination handler. */
#ifndef ZEB_EXCPT_H
#define ZEB_EXCPT_H

#include "seh_variant_switch.h"
#include "seh_types.h"

/* While the lowering tool reads a source, these name the compiler's own SEH
 * intrinsics, so that misplaced uses are diagnosed as on the platform.  The
 * lowered source no longer contains them. */
#if defined(__ZEB_LOWERING__)
#define GetExceptionCode _exception_code
#define GetExceptionInformation() ((struct _EXCEPTION_POINTERS *)_exception_info())
#define AbnormalTermination _abnormal_termination
#define exception_code _exception_code
#define exception_info() ((struct _EXCEPTION_POINTERS *)_exception_info())
#define abnormal_termination _abnormal_termination
/* The compiler's synonyms with one underscore. */
#define _try __try
#define _except __except
#define _finally __finally
#define _leave __leave
/* The platform's C dialect also spells the statements without underscores. */
#if defined(__ZEB_C_SOURCE)
#define try __try
#define except __except
#define finally __finally
#define leave __leave
#endif
#else
/* In a lowered source every filter, exception handler and termination
 * handler declares these names for itself. */
#define GetExceptionCode() (__seh_code)
#define GetExceptionInformation() (__seh_info)
#define AbnormalTermination() __SEH_ABNORMAL(__seh_abnormal)
#define _exception_code() (__seh_code)
#define _exception_info() ((void *)__seh_info)
#define _abnormal_termination() __SEH_ABNORMAL(__seh_abnormal)
#define exception_code() (__seh_code)
#define exception_info() (__seh_info)
#define abnormal_termination() __SEH_ABNORMAL(__seh_abnormal)
#define __SEH_ABNORMAL(abnormal) \
    (ZEB_VARIANT(ABNORMAL_ALWAYS_TRUE) ? 1 : ZEB_VARIANT(ABNORMAL_ALWAYS_FALSE) ? 0 : (abnormal))
#endif

#endif
