// The processor as GetSystemInfo describes it (arch/<arch>/processor.cpp).
#pragma once

#include "win32_api.h"

namespace zeb::seh::win32 {

// Sets the processor's architecture (and type, where Windows gives one).
void describe_processor(SYSTEM_INFO *info);

}  // namespace zeb::seh::win32
