// What the lowering tool learns from the AST: guarded statements, the jumps
// that leave them, and the functions that hold them.  Offsets are byte
// offsets into the main source file.
#pragma once

#include <string>
#include <vector>

namespace zeb::lower {

struct Range {
    unsigned begin = 0, end = 0;
};

struct TryStmt {
    int id = 0;
    bool is_finally = false;
    Range whole, body, filter, handler;
    bool leave_used = false;   // a __leave names this statement
    // The body of a C++ try statement with a catch (...), guarded under the
    // asynchronous model so that the catch (...) takes structured
    // exceptions; it has no handler of its own.
    bool is_catch_all = false;
    // C++: the body creates no object with a destructor (every variable and
    // every value of class type in it is of a trivial, POD type).
    bool body_without_destructors = false;
    // try/finally: what each jump that leaves through it does afterwards,
    // numbered from 2 (0 is a normal exit, 1 an unwind).
    std::vector<std::string> continuations;
    int function = -1;
};

enum class JumpKind { Goto, Break, Continue, Return, Leave };

struct Jump {
    JumpKind kind;
    Range stmt;                // including the closing semicolon
    Range value;               // return value expression; empty when none
    std::string label;         // goto target
    std::vector<int> left;     // guarded bodies left, innermost first
    int leave_target = -1;     // __leave: the statement whose body ends
    int function = -1;
};

struct Function {
    Range body;                // the compound statement
    std::string result_type;   // spelling, "void" when none
    bool is_lambda = false;
    bool needs_return_slot = false;
    // Holds a guarded block or calls setjmp: control can come back into it
    // from a raise, a fault or a long jump.
    bool reentered = false;
    // C++ that calls setjmp and creates no object with a destructor: a long
    // jump back into it has nothing for the unwinder to do in its frame.
    bool calls_setjmp = false;
    bool setjmp_frame_plain = false;
};

struct Problem {
    unsigned offset;
    std::string message;
};

struct Model {
    std::vector<TryStmt> tries;
    std::vector<Jump> jumps;
    std::vector<Function> functions;
    std::vector<Problem> problems;
    // Unnamed by-value catch parameters of class type: the platform does
    // not copy the exception object into them, so they become references.
    std::vector<unsigned> reference_catches;
    // Top-level declarations holding a reentered function: compiled without
    // optimisation, so that every local lives in memory and a value written
    // before a raise, a fault or a jump is the one seen after it, whatever
    // the program is built with.
    std::vector<Range> unoptimised;
    // Where each catch-all clause starts: the layer's own unwinds are not
    // C++ exceptions there, so a clause that passes them goes before it.
    std::vector<unsigned> catch_alls;
};

}  // namespace zeb::lower
