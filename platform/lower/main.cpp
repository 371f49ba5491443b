// zeb-lower: turns a source in the platform's SEH dialect into portable C++
// that calls the run-time.
//
//   zeb-lower INPUT -o OUTPUT [-I DIR] [-D NAME[=VALUE]] [-U NAME] [-std=...]
//
// Misuse of the dialect, and any other error the compiler finds, is reported
// as file:line:col: error: message; the tool then exits 1 and writes no output.
#include <clang-c/Index.h>

#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ast_scan.h"
#include "cx_string.h"
#include "emit.h"

#ifndef ZEB_PLATFORM_INCLUDE
#define ZEB_PLATFORM_INCLUDE "platform/include"
#endif

namespace {

using zeb::lower::take;

void line_col(const std::string &text, unsigned offset, unsigned *line, unsigned *col) {
    *line = 1;
    *col = 1;
    for (unsigned i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++*line;
            *col = 1;
        } else {
            ++*col;
        }
    }
}

// The compiler builds the tree for guarded blocks on every target but
// refuses to generate code for them here; that refusal is not an error of
// the source.
bool is_target_refusal(const std::string &message) {
    return message.find("is not supported on this target") != std::string::npos;
}

// Checked by the tool itself (see scan_leaves): the compiler gets it wrong
// once a library header has turned __try into try.
bool is_leave_scope(const std::string &message) {
    return message.find("'__leave' statement not in __try block") != std::string::npos;
}

int report_compiler_errors(CXTranslationUnit unit) {
    int errors = 0;
    for (unsigned i = 0, count = clang_getNumDiagnostics(unit); i < count; ++i) {
        CXDiagnostic d = clang_getDiagnostic(unit, i);
        const CXDiagnosticSeverity severity = clang_getDiagnosticSeverity(d);
        const std::string message = take(clang_getDiagnosticSpelling(d));
        if (severity >= CXDiagnostic_Error && !is_target_refusal(message) && !is_leave_scope(message)) {
            CXFile file;
            unsigned line = 0, col = 0;
            clang_getExpansionLocation(clang_getDiagnosticLocation(d), &file, &line, &col, nullptr);
            const std::string name = file ? take(clang_getFileName(file)) : "<command line>";
            fprintf(stderr, "%s:%u:%u: error: %s\n", name.c_str(), line, col, message.c_str());
            ++errors;
        }
        clang_disposeDiagnostic(d);
    }
    return errors;
}

int usage() {
    fputs("usage: zeb-lower INPUT -o OUTPUT [-I DIR] [-D NAME[=VALUE]] [-U NAME] [-std=STD]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::string input, output;
    std::vector<std::string> args = {"-fms-extensions", "-D__ZEB_LOWERING__",
                                     "-Wno-everything", "-ferror-limit=0", "-I", ZEB_PLATFORM_INCLUDE};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if ((a == "-I" || a == "-D" || a == "-U" || a == "-include") && i + 1 < argc) {
            args.push_back(a);
            args.push_back(argv[++i]);
        } else if (a.rfind("-I", 0) == 0 || a.rfind("-D", 0) == 0 || a.rfind("-U", 0) == 0 ||
                   a.rfind("-std=", 0) == 0) {
            args.push_back(a);
        } else if (!a.empty() && a[0] == '-') {
            fprintf(stderr, "zeb-lower: unknown option '%s'\n", a.c_str());
            return usage();
        } else if (input.empty()) {
            input = a;
        } else {
            return usage();
        }
    }
    if (input.empty() || output.empty()) return usage();
    const bool c_source = input.size() > 2 && input.compare(input.size() - 2, 2, ".c") == 0;
    // C sources stay C (as the platform compiles them); others are C++.
    const std::vector<std::string> language =
        c_source ? std::vector<std::string>{"-x", "c", "-std=gnu11", "-D__ZEB_C_SOURCE=1"}
                 : std::vector<std::string>{"-x", "c++", "-std=gnu++17"};
    args.insert(args.begin(), language.begin(), language.end());
    unlink(output.c_str());   // a stale output must not pass for this run's

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        fprintf(stderr, "%s:1:1: error: cannot read the source\n", input.c_str());
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();

    std::vector<const char *> argp;
    for (const std::string &a : args) argp.push_back(a.c_str());
    CXIndex index = clang_createIndex(0, 0);
    CXTranslationUnit unit = nullptr;
    const CXErrorCode parsed = clang_parseTranslationUnit2(index, input.c_str(), argp.data(), int(argp.size()),
                                                           nullptr, 0, CXTranslationUnit_KeepGoing, &unit);
    if (parsed != CXError_Success || !unit) {
        fprintf(stderr, "%s:1:1: error: the source could not be parsed\n", input.c_str());
        return 1;
    }
    int errors = report_compiler_errors(unit);
    zeb::lower::Model model = zeb::lower::scan(unit, text, c_source);
    std::string lowered;
    if (!errors && model.problems.empty()) lowered = zeb::lower::emit(model, text, input, c_source);
    for (const zeb::lower::Problem &p : model.problems) {
        unsigned line, col;
        line_col(text, p.offset, &line, &col);
        fprintf(stderr, "%s:%u:%u: error: %s\n", input.c_str(), line, col, p.message.c_str());
        ++errors;
    }
    clang_disposeTranslationUnit(unit);
    clang_disposeIndex(index);
    if (errors) return 1;

    const std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << lowered;
        if (!out) {
            fprintf(stderr, "zeb-lower: cannot write '%s'\n", output.c_str());
            unlink(temporary.c_str());
            return 1;
        }
    }
    if (rename(temporary.c_str(), output.c_str()) != 0) {
        unlink(temporary.c_str());
        fprintf(stderr, "zeb-lower: cannot write '%s'\n", output.c_str());
        return 1;
    }
    return 0;
}
