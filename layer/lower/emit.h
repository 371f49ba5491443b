// Produces the lowered source: the original text, byte for byte, with each
// guarded statement and each jump that leaves one rewritten into portable
// C++ that calls the run-time.  Line numbers are kept: every rewritten piece
// holds as many line breaks as the text it replaces.
#pragma once

#include <string>

#include "model.h"

namespace zeb::lower {

// UTF-8's byte-order mark, which editors on Windows put at the start of a
// source; the lowered source drops it.
inline const std::string BYTE_ORDER_MARK = "\xEF\xBB\xBF";

// PATH as a string literal: `#line` directives take the file's name so.
std::string quoted_path(const std::string &path);
// `#line 1 "PATH"`, PATH quoted as a string literal.
std::string line_directive(const std::string &path);

// `c`: the output is GNU C (for C sources), otherwise C++.
std::string emit(Model &model, const std::string &text, const std::string &path, bool c);

}  // namespace zeb::lower
