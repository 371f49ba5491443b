/* ZEB0027: an exception (code 1) raised inside an exception filter. It is
   dispatched from the filter's position: the frame whose filter raised it
   is searched again with the nested-call flag (0x10, EXCEPTION_NESTED_CALL)
   set, the frames beyond it with the flag clear. The handler chosen in
   main abandons the first exception's dispatch. Expected Counter: 55. */

#include <windows.h>
#include <stdio.h>

extern const char SourceFile[];
const char SourceFile[] = "ZEB0027";

__declspec(noinline) void RaiseStatus(DWORD ExceptionCode)
{
    RaiseException(ExceptionCode, 0, 0, NULL);
}

__declspec(noinline) int InnerFilter(EXCEPTION_POINTERS *ExceptionPointers,
                                     int *CounterPointer)
{
    DWORD ExceptionCode;
    DWORD ExceptionFlags;

    ExceptionCode = ExceptionPointers->ExceptionRecord->ExceptionCode;
    ExceptionFlags = ExceptionPointers->ExceptionRecord->ExceptionFlags;

    if (ExceptionCode == 0xC0000095 && (ExceptionFlags & 0x10) == 0) {
        *CounterPointer += 17;
        RaiseStatus(1);
    } else if (ExceptionCode == 1 && (ExceptionFlags & 0x10) != 0) {
        *CounterPointer += 19;
        return EXCEPTION_CONTINUE_SEARCH;
    }

    *CounterPointer += 23;
    return EXCEPTION_EXECUTE_HANDLER;
}

__declspec(noinline) void GuardedRaise(int *CounterPointer)
{
    __try {
        *CounterPointer += 5;
        RaiseException(0xC0000095, 0, 0, NULL);
    } __except (InnerFilter(GetExceptionInformation(), CounterPointer)) {
        *CounterPointer += 7;
    }
    *CounterPointer += 9;
}

__declspec(noinline) int OuterFilter(EXCEPTION_POINTERS *ExceptionPointers,
                                     int *CounterPointer)
{
    DWORD ExceptionCode;
    DWORD ExceptionFlags;

    ExceptionCode = ExceptionPointers->ExceptionRecord->ExceptionCode;
    ExceptionFlags = ExceptionPointers->ExceptionRecord->ExceptionFlags;

    if (ExceptionCode == 1 && (ExceptionFlags & 0x10) == 0) {
        *CounterPointer += 11;
        return EXCEPTION_EXECUTE_HANDLER;
    }

    *CounterPointer += 13;
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void)
{
    int Counter;

    Counter = 0;

    __try {
        __try {
            Counter += 1;
            GuardedRaise(&Counter);
        } __except (OuterFilter(GetExceptionInformation(), &Counter)) {
            Counter += 2;
        }
    } __except (EXCEPTION_EXECUTE_HANDLER) {
        Counter += 3;
    }

    if (Counter != 55) {
        printf("TEST 27 FAILED. Counter = %d\n\r", Counter);
        return -1;
    }
    return 0;
}
