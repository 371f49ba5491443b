// The order in which objects go: each Mark adds its name to Trace as it is
// destroyed.  Each test file has its own.
#pragma once

#include <string>

namespace {

std::string Trace;

struct Mark {
    char name;
    explicit Mark(char n) : name(n) {}
    ~Mark() { Trace += name; }
};

}  // namespace
