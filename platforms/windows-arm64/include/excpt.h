/* mingw-w64's excpt.h spells GetExceptionInformation as a cast without
   parentheses, so GetExceptionInformation()->ExceptionRecord casts the
   member, not the pointer.  The platform's macro is a whole expression. */
#include_next <excpt.h>
#undef GetExceptionInformation
#undef exception_info
#define GetExceptionInformation() ((struct _EXCEPTION_POINTERS *)_exception_info())
#define exception_info() ((struct _EXCEPTION_POINTERS *)_exception_info())
