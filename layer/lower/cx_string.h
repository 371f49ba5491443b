// libclang hands out strings that the caller must dispose of.
#pragma once

#include <clang-c/CXString.h>

#include <string>

namespace zeb::lower {

inline std::string take(CXString s) {
    std::string out = clang_getCString(s) ? clang_getCString(s) : "";
    clang_disposeString(s);
    return out;
}

}  // namespace zeb::lower
