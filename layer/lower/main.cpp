// zeb-lower: turns a source in the platform's SEH dialect into portable C++
// that calls the run-time.
//
//   zeb-lower INPUT -o OUTPUT [-x c|c++] [-I DIR] [-iquote DIR] [-isystem DIR] [-idirafter DIR]
//             [-include FILE] [-imacros FILE] [-D NAME[=VALUE]] [-U NAME] [-std=STD]
//             [-fasync-exceptions]
//
// The language follows the name (.c is C, anything else C++) unless -x says.
// Misuse of the dialect, and any other error the compiler finds, is reported
// as file:line:col: error: message; the tool then exits 1 and writes no output.
#include <clang-c/Index.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ast_scan.h"
#include "cx_string.h"
#include "emit.h"

// The stand-in Windows headers, and the run-time interface they and the
// lowered code include.
#ifndef ZEB_LAYER_INCLUDE
#define ZEB_LAYER_INCLUDE "layer/include"
#endif
#ifndef ZEB_INTERFACE_INCLUDE
#define ZEB_INTERFACE_INCLUDE "layer/interface"
#endif

namespace {

using zeb::lower::take;

void line_col(const std::string &text, unsigned offset, unsigned *line, unsigned *col) {
    *line = 1;
    *col = 1;
    // Editors count columns after a byte-order mark, as the compiler does.
    const unsigned start = text.compare(0, zeb::lower::BYTE_ORDER_MARK.size(), zeb::lower::BYTE_ORDER_MARK) == 0
                               ? unsigned(zeb::lower::BYTE_ORDER_MARK.size())
                               : 0;
    for (unsigned i = start; i < offset && i < text.size(); ++i) {
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

int report_compiler_errors(CXTranslationUnit unit, bool byte_order_mark) {
    int errors = 0;
    for (unsigned i = 0, count = clang_getNumDiagnostics(unit); i < count; ++i) {
        CXDiagnostic d = clang_getDiagnostic(unit, i);
        const CXDiagnosticSeverity severity = clang_getDiagnosticSeverity(d);
        const std::string message = take(clang_getDiagnosticSpelling(d));
        if (severity >= CXDiagnostic_Error && !is_target_refusal(message) && !is_leave_scope(message)) {
            CXFile file;
            unsigned line = 0, col = 0;
            const CXSourceLocation at = clang_getDiagnosticLocation(d);
            clang_getExpansionLocation(at, &file, &line, &col, nullptr);
            // The compiler counts the mark's three bytes as columns.
            if (byte_order_mark && line == 1 && col > 3 && clang_Location_isFromMainFile(at)) col -= 3;
            const std::string name = file ? take(clang_getFileName(file)) : "<command line>";
            fprintf(stderr, "%s:%u:%u: error: %s\n", name.c_str(), line, col, message.c_str());
            ++errors;
        }
        clang_disposeDiagnostic(d);
    }
    return errors;
}

int usage() {
    fputs("usage: zeb-lower INPUT -o OUTPUT [-x c|c++] [-I DIR] [-iquote DIR] [-isystem DIR] [-idirafter DIR]\n"
          "                 [-include FILE] [-imacros FILE] [-D NAME[=VALUE]] [-U NAME] [-std=STD]\n"
          "                 [-fasync-exceptions]\n"
          "  -fasync-exceptions  catch (...) also takes structured exceptions (the platform's /EHa)\n",
          stderr);
    return 2;
}

// The preprocessor's options, which the compiler is given too, so that the
// tool sees the source as the compiler will.  Each takes a value, joined or
// as the next argument.
bool is_preprocessor_option(const std::string &a) {
    return a == "-I" || a == "-D" || a == "-U" || a == "-iquote" || a == "-isystem" || a == "-idirafter" ||
           a == "-include" || a == "-imacros";
}

bool is_joined_preprocessor_option(const std::string &a) {
    for (const char *prefix : {"-I", "-D", "-U", "-iquote", "-isystem", "-idirafter", "-std="})
        if (a.rfind(prefix, 0) == 0 && a.size() > strlen(prefix)) return true;
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    std::string input, output, language_name;
    bool async_exceptions = false;
    std::vector<std::string> args = {"-fms-extensions", "-D__ZEB_LOWERING__",
                                     "-Wno-everything", "-ferror-limit=0", "-I", ZEB_LAYER_INCLUDE,
                                     "-I", ZEB_INTERFACE_INCLUDE};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-fasync-exceptions") {
            async_exceptions = true;
        } else if (a == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (a == "-x" && i + 1 == argc) {
            fputs("zeb-lower: -x needs a language: c or c++\n", stderr);
            return usage();
        } else if (a.rfind("-x", 0) == 0) {
            language_name = a == "-x" ? argv[++i] : a.substr(2);
            if (language_name != "c" && language_name != "c++") {
                fprintf(stderr, "zeb-lower: the language is c or c++, not '%s'\n", language_name.c_str());
                return usage();
            }
        } else if (is_preprocessor_option(a) && i + 1 < argc) {
            args.push_back(a);
            args.push_back(argv[++i]);
        } else if (is_joined_preprocessor_option(a)) {
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
    const bool c_source = language_name.empty()
                              ? input.size() > 2 && input.compare(input.size() - 2, 2, ".c") == 0
                              : language_name == "c";
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
    int errors = report_compiler_errors(
        unit, text.compare(0, zeb::lower::BYTE_ORDER_MARK.size(), zeb::lower::BYTE_ORDER_MARK) == 0);
    zeb::lower::Model model = zeb::lower::scan(unit, text, c_source, async_exceptions);
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
