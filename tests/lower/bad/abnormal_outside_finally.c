// expect: 5:12: AbnormalTermination|_abnormal_termination
#include <windows.h>
int f(void)
{
    return AbnormalTermination();
}
