// Walks the AST of the main file and fills the model: every try statement,
// and every jump with the guarded bodies it leaves, resolved exactly
// (break and continue against their loop or switch, goto against its label).
#pragma once

#include <clang-c/Index.h>

#include "model.h"

namespace zeb::lower {

// `c_source`: the platform's C spellings (leave for __leave) are in force.
// `async_exceptions`: the asynchronous model, where catch (...) also takes
// structured exceptions (the platform's /EHa).
Model scan(CXTranslationUnit unit, const std::string &text, bool c_source, bool async_exceptions);

}  // namespace zeb::lower
