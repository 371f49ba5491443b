// GetSystemInfo's processor on this architecture.
#include "win32/processor.h"

namespace zeb::seh::win32 {

void describe_processor(SYSTEM_INFO *info) {
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM;
}

}  // namespace zeb::seh::win32
