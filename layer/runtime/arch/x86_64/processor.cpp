// GetSystemInfo's processor on this architecture.
#include "win32/processor.h"

namespace zeb::seh::win32 {

void describe_processor(SYSTEM_INFO *info) {
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwProcessorType = PROCESSOR_AMD_X8664;
}

}  // namespace zeb::seh::win32
