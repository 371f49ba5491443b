#include "ast_scan.h"

#include "cx_string.h"

#include <map>
#include <string>

namespace zeb::lower {
namespace {

std::vector<CXCursor> children(CXCursor c) {
    std::vector<CXCursor> out;
    clang_visitChildren(
        c,
        [](CXCursor child, CXCursor, CXClientData data) {
            static_cast<std::vector<CXCursor> *>(data)->push_back(child);
            return CXChildVisit_Continue;
        },
        &out);
    return out;
}

bool is_function_like(CXCursorKind k) {
    return k == CXCursor_FunctionDecl || k == CXCursor_CXXMethod || k == CXCursor_Constructor ||
           k == CXCursor_Destructor || k == CXCursor_ConversionFunction || k == CXCursor_FunctionTemplate ||
           k == CXCursor_LambdaExpr;
}

bool is_loop(CXCursorKind k) {
    return k == CXCursor_ForStmt || k == CXCursor_WhileStmt || k == CXCursor_DoStmt ||
           k == CXCursor_CXXForRangeStmt;
}

// One enclosing construct of the statement being visited.
struct Scope {
    enum Kind { TryBody, Handler, Loop, Switch } kind;
    int try_id;
};

struct PendingGoto {
    Range stmt;
    unsigned label_offset;
    std::string label;
    std::vector<int> bodies;   // guarded bodies around the goto, outermost first
    bool from_macro;
};

struct FunctionState {
    int index;
    std::vector<Scope> scopes;
    std::map<unsigned, std::vector<int>> labels;   // label offset -> guarded bodies around it
    std::vector<PendingGoto> gotos;
};

class Scanner {
public:
    Scanner(CXTranslationUnit unit, const std::string &text, bool c_source, bool async_exceptions)
        : unit_(unit), text_(text), main_path_(take(clang_getTranslationUnitSpelling(unit))),
          c_source_(c_source), async_exceptions_(async_exceptions) {}

    Model run() {
        std::vector<Range> declarations;
        for (CXCursor c : children(clang_getTranslationUnitCursor(unit_)))
            if (in_main_file(c)) {
                visit(c, nullptr);
                top_level(c, &declarations);
            }
        scan_leaves();
        mark_unoptimised(declarations);
        return std::move(model_);
    }

private:
    // Functions that return twice, by the names compilers know them by.
    static bool returns_twice(const std::string &name) {
        static const char *const names[] = {"setjmp", "_setjmp", "__setjmp", "sigsetjmp", "__sigsetjmp",
                                            "_setjmpex", "__intrinsic_setjmp", "__intrinsic_setjmpex",
                                            "savectx", "vfork", "getcontext"};
        for (const char *n : names)
            if (name == n) return true;
        return false;
    }

    // The declarations at file scope, namespaces and linkage blocks opened.
    void top_level(CXCursor c, std::vector<Range> *out) {
        const CXCursorKind kind = clang_getCursorKind(c);
        Range r = with_semicolon(range(c));
        const auto kids = children(c);
        // extern "C" int f() {...} is one declaration; a namespace or an
        // extern "C" { ... } block holds several.
        const bool braced = !kids.empty() && text_.find('{', r.begin) < range(kids.front()).begin;
        if (kind == CXCursor_Namespace || (kind == CXCursor_LinkageSpec && braced)) {
            for (CXCursor k : kids)
                if (in_main_file(k)) top_level(k, out);
            return;
        }
        if (r.end > r.begin) out->push_back(r);
    }

    void mark_unoptimised(const std::vector<Range> &declarations) {
        for (const Range &d : declarations) {
            bool reentered = false;
            for (const Function &f : model_.functions)
                reentered = reentered || (f.reentered && d.begin <= f.body.begin && f.body.begin < d.end);
            bool covered = false;
            for (const Range &u : model_.unoptimised) covered = covered || (u.begin <= d.begin && d.end <= u.end);
            if (reentered && !covered) model_.unoptimised.push_back(d);
        }
    }

    CXTranslationUnit unit_;
    const std::string &text_;
    std::string main_path_;
    bool c_source_;
    bool async_exceptions_;
    Model model_;

    bool in_main_file(CXCursor c) {
        CXFile file;
        clang_getExpansionLocation(clang_getRangeStart(clang_getCursorExtent(c)), &file, nullptr, nullptr, nullptr);
        return file && clang_File_isEqual(file, clang_getFile(unit_, main_path_.c_str()));
    }

    static unsigned expansion_offset(CXSourceLocation loc) {
        unsigned offset = 0;
        clang_getExpansionLocation(loc, nullptr, nullptr, nullptr, &offset);
        return offset;
    }

    // Written by a macro: the place it expands to is not where its text is
    // (the macro's body, or an argument).
    static bool from_macro(CXSourceLocation loc) {
        CXFile ef, sf, ff;
        unsigned eo = 0, so = 0, fo = 0;
        clang_getExpansionLocation(loc, &ef, nullptr, nullptr, &eo);
        clang_getSpellingLocation(loc, &sf, nullptr, nullptr, &so);
        clang_getFileLocation(loc, &ff, nullptr, nullptr, &fo);
        return eo != fo || eo != so || !clang_File_isEqual(ef, ff) || !clang_File_isEqual(ef, sf);
    }

    static bool from_macro(CXCursor c) {
        CXSourceRange r = clang_getCursorExtent(c);
        return from_macro(clang_getRangeStart(r)) || from_macro(clang_getRangeEnd(r));
    }

    Range range(CXCursor c) {
        CXSourceRange r = clang_getCursorExtent(c);
        return {expansion_offset(clang_getRangeStart(r)), expansion_offset(clang_getRangeEnd(r))};
    }

    // A filter given as a macro argument (EXCEPT(filter)) is spelled in the
    // source, though it expands where the macro is used.
    Range filter_range(CXCursor c) {
        const Range expanded = range(c);
        if (expanded.end > expanded.begin) return expanded;
        CXSourceRange r = clang_getCursorExtent(c);
        CXFile bf, ef;
        unsigned b = 0, e = 0;
        clang_getFileLocation(clang_getRangeStart(r), &bf, nullptr, nullptr, &b);
        clang_getFileLocation(clang_getRangeEnd(r), &ef, nullptr, nullptr, &e);
        CXFile main_file = clang_getFile(unit_, main_path_.c_str());
        if (!bf || !ef || !clang_File_isEqual(bf, main_file) || !clang_File_isEqual(ef, main_file) || e <= b)
            return {0, 0};
        // The end location names the last token's start; take the token.
        CXToken *token = clang_getToken(unit_, clang_getRangeEnd(r));
        if (token) {
            unsigned te = 0;
            clang_getFileLocation(clang_getRangeEnd(clang_getTokenExtent(unit_, *token)), nullptr, nullptr, nullptr, &te);
            if (te > e) e = te;
            clang_disposeTokens(unit_, token, 1);
        }
        return {b, e};
    }

    // Jump statements end before their semicolon; the rewrite takes it too.
    Range with_semicolon(Range r) {
        unsigned i = r.end;
        while (i < text_.size() && (text_[i] == ' ' || text_[i] == '\t' || text_[i] == '\n' || text_[i] == '\r')) ++i;
        if (i < text_.size() && text_[i] == ';') r.end = i + 1;
        return r;
    }

    void problem(CXCursor c, const std::string &message) {
        model_.problems.push_back({range(c).begin, message});
    }

    static std::vector<int> bodies(const FunctionState &fs) {
        std::vector<int> out;
        for (const Scope &s : fs.scopes)
            if (s.kind == Scope::TryBody) out.push_back(s.try_id);
        return out;
    }

    // Guarded bodies between the innermost scope accepted by `is_target`
    // and the statement, innermost first; false when there is no target.
    template <class Pred>
    bool bodies_inside(const FunctionState &fs, Pred is_target, std::vector<int> *left) {
        left->clear();
        for (auto it = fs.scopes.rbegin(); it != fs.scopes.rend(); ++it) {
            if (is_target(*it)) return true;
            if (it->kind == Scope::TryBody) left->push_back(it->try_id);
        }
        return false;
    }

    void add_jump(CXCursor c, FunctionState &fs, JumpKind kind, std::vector<int> left) {
        if (left.empty()) return;
        if (from_macro(c)) {
            problem(c, "a jump out of a guarded block cannot be written inside a macro");
            return;
        }
        Jump j;
        j.kind = kind;
        j.stmt = with_semicolon(range(c));
        j.left = std::move(left);
        j.function = fs.index;
        if (kind == JumpKind::Return) {
            auto kids = children(c);
            if (!kids.empty()) j.value = range(kids.front());
        }
        model_.jumps.push_back(j);
    }

    // __leave is taken from the tokens, not the tree: once a C++ library
    // header has defined __try as try (libstdc++ does), the compiler still
    // builds a guarded statement but rejects the __leave inside it.  A
    // __leave ends the innermost guarded body around it in its function.
    void scan_leaves() {
        CXFile file = clang_getFile(unit_, main_path_.c_str());
        if (!file) return;
        CXSourceRange whole = clang_getRange(clang_getLocationForOffset(unit_, file, 0),
                                             clang_getLocationForOffset(unit_, file, unsigned(text_.size())));
        CXToken *tokens = nullptr;
        unsigned count = 0;
        clang_tokenize(unit_, whole, &tokens, &count);
        for (unsigned i = 0; i < count; ++i) {
            if (clang_getTokenKind(tokens[i]) == CXToken_Comment) continue;
            const std::string word = take(clang_getTokenSpelling(unit_, tokens[i]));
            const bool leave = word == "__leave" ||
                               ((word == "_leave" || (c_source_ && word == "leave")) && before_semicolon(tokens, i, count));
            const bool abnormal = word == "AbnormalTermination" || word == "_abnormal_termination" ||
                                  word == "__abnormal_termination" || word == "abnormal_termination";
            const bool handler = word == "__except" || word == "__finally";
            if (!leave && !abnormal && !handler) continue;
            const unsigned at = expansion_offset(clang_getTokenLocation(unit_, tokens[i]));
            if (in_directive(at)) continue;
            if (handler) {
                check_handler_keyword(at, word);
                continue;
            }
            if (leave)
                add_leave(at, expansion_offset(clang_getRangeEnd(clang_getTokenExtent(unit_, tokens[i]))));
            else
                check_abnormal(at, word);
        }
        clang_disposeTokens(unit_, tokens, count);
    }

    bool before_semicolon(CXToken *tokens, unsigned i, unsigned count) const {
        return i + 1 < count && take(clang_getTokenSpelling(unit_, tokens[i + 1])) == ";";
    }

    bool in_directive(unsigned at) const {
        size_t line = text_.rfind('\n', at);
        line = line == std::string::npos ? 0 : line + 1;
        while (line < at && (text_[line] == ' ' || text_[line] == '\t')) ++line;
        return line < text_.size() && text_[line] == '#';
    }

    static bool inside(Range r, unsigned at) { return r.begin < at && at < r.end; }

    int function_at(unsigned at) const {
        int function = -1;
        for (size_t f = 0; f < model_.functions.size(); ++f) {
            const Range body = model_.functions[f].body;
            if (inside(body, at) && (function < 0 || body.begin >= model_.functions[function].body.begin))
                function = int(f);
        }
        return function;
    }

    // An __except or __finally must follow a guarded body; the compiler,
    // reading C, may only report a missing semicolon.
    void check_handler_keyword(unsigned at, const std::string &word) {
        for (const TryStmt &t : model_.tries)
            if (t.body.end <= at && at < t.handler.begin) return;
        model_.problems.push_back({at, "'" + word + "' without a preceding '__try' block"});
    }

    // The compiler does not check where AbnormalTermination() is used; the
    // platform allows it only inside a termination handler.
    void check_abnormal(unsigned at, const std::string &word) {
        const int function = function_at(at);
        for (const TryStmt &t : model_.tries)
            if (t.is_finally && t.function == function && inside(t.handler, at)) return;
        model_.problems.push_back({at, "'" + word + "' only allowed in __finally block"});
    }

    void add_leave(unsigned at, unsigned end) {
        const int function = function_at(at);
        int target = -1;
        for (const TryStmt &t : model_.tries) {
            if (t.function != function || !inside(t.body, at) || t.is_catch_all) continue;
            if (target < 0 || t.body.begin >= model_.tries[target].body.begin) target = t.id;
        }
        if (target < 0) {
            model_.problems.push_back({at, "'__leave' statement not in __try block"});
            return;
        }
        Jump j;
        j.kind = JumpKind::Leave;
        j.stmt = with_semicolon({at, end});
        j.leave_target = target;
        j.function = function;
        model_.tries[target].leave_used = true;
        model_.jumps.push_back(j);
    }

    void visit_function(CXCursor c) {
        CXCursor body = clang_getNullCursor();
        for (CXCursor k : children(c))
            if (clang_getCursorKind(k) == CXCursor_CompoundStmt) body = k;
        FunctionState fs;
        fs.index = int(model_.functions.size());
        Function f;
        f.is_lambda = clang_getCursorKind(c) == CXCursor_LambdaExpr;
        if (!clang_Cursor_isNull(body)) f.body = range(body);
        if (!f.is_lambda) f.result_type = take(clang_getTypeSpelling(clang_getCursorResultType(c)));
        model_.functions.push_back(f);
        for (CXCursor k : children(c)) visit(k, &fs);
        resolve_gotos(fs);
        Function &done = model_.functions[fs.index];
        done.setjmp_frame_plain = !c_source_ && done.calls_setjmp && !clang_Cursor_isNull(body) &&
                                  !from_macro(body) && !may_hold_destructors(body);
    }

    void resolve_gotos(FunctionState &fs) {
        for (const PendingGoto &g : fs.gotos) {
            auto found = fs.labels.find(g.label_offset);
            if (found == fs.labels.end()) continue;
            const std::vector<int> &target = found->second;
            size_t common = 0;
            while (common < g.bodies.size() && common < target.size() && g.bodies[common] == target[common]) ++common;
            if (common < target.size()) {
                model_.problems.push_back({g.stmt.begin, "cannot jump into a guarded block (label '" + g.label + "')"});
                continue;
            }
            if (common == g.bodies.size()) continue;
            if (g.from_macro) {
                model_.problems.push_back({g.stmt.begin, "a jump out of a guarded block cannot be written inside a macro"});
                continue;
            }
            Jump j;
            j.kind = JumpKind::Goto;
            j.stmt = g.stmt;
            j.label = g.label;
            j.function = fs.index;
            for (size_t i = g.bodies.size(); i > common; --i) j.left.push_back(g.bodies[i - 1]);
            model_.jumps.push_back(j);
        }
    }

    void visit_try(CXCursor c, FunctionState *fs) {
        auto kids = children(c);
        if (!fs || kids.size() != 2) {
            problem(c, "unexpected form of a guarded block");
            return;
        }
        // The keywords may come from macros (#define TRY __try); the guarded
        // body and the handler must be written in the source itself.
        auto handler_parts = children(kids[1]);
        if (from_macro(kids[0]) || handler_parts.empty() || from_macro(handler_parts.back())) {
            problem(c, "a guarded block whose body or handler is written inside a macro cannot be lowered");
            return;
        }
        TryStmt t;
        t.id = int(model_.tries.size());
        t.function = fs->index;
        model_.functions[fs->index].reentered = true;
        t.whole = range(c);
        t.body = range(kids[0]);
        t.is_finally = clang_getCursorKind(kids[1]) == CXCursor_SEHFinallyStmt;
        t.body_without_destructors = !c_source_ && !t.is_finally && !may_hold_destructors(kids[0]);
        model_.tries.push_back(t);
        const int id = t.id;

        fs->scopes.push_back({Scope::TryBody, id});
        visit(kids[0], fs);
        fs->scopes.pop_back();

        auto handler_kids = children(kids[1]);
        if (handler_kids.empty()) return;
        CXCursor handler = handler_kids.back();
        model_.tries[id].handler = range(handler);
        if (!model_.tries[id].is_finally) {
            if (handler_kids.size() != 2) {
                problem(c, "unexpected form of an exception handler");
                return;
            }
            model_.tries[id].filter = filter_range(handler_kids[0]);
            if (model_.tries[id].filter.end <= model_.tries[id].filter.begin) {
                problem(c, "this filter expression cannot be lowered: it is not written in this source");
                return;
            }
            visit(handler_kids[0], fs);
        }
        fs->scopes.push_back({Scope::Handler, id});
        visit(handler, fs);
        fs->scopes.pop_back();
    }

    // True when destroying an object of this type runs nothing: no
    // destructor declared by it, its bases or its members.  Doubt (a type
    // whose members cannot be seen, as in a template's implicit
    // instantiation) counts as a destructor.
    static bool trivially_destructible(CXType type, int depth = 0) {
        type = clang_getCanonicalType(type);
        while (type.kind == CXType_ConstantArray || type.kind == CXType_IncompleteArray ||
               type.kind == CXType_VariableArray || type.kind == CXType_DependentSizedArray)
            type = clang_getCanonicalType(clang_getArrayElementType(type));
        if (type.kind == CXType_Unexposed || type.kind == CXType_Elaborated) return false;
        if (type.kind != CXType_Record || clang_isPODType(type)) return true;
        if (depth > 16 || clang_Type_getNumTemplateArguments(type) > 0) return false;
        const CXCursor decl = clang_getCursorDefinition(clang_getTypeDeclaration(type));
        if (clang_Cursor_isNull(decl) || !clang_isCursorDefinition(decl)) return false;
        struct Walk {
            int depth;
            bool trivial;
        } walk = {depth, true};
        clang_visitChildren(
            decl,
            [](CXCursor k, CXCursor, CXClientData data) {
                Walk &w = *static_cast<Walk *>(data);
                const CXCursorKind kind = clang_getCursorKind(k);
                if (kind == CXCursor_Destructor ||
                    ((kind == CXCursor_FieldDecl || kind == CXCursor_CXXBaseSpecifier) &&
                     !trivially_destructible(clang_getCursorType(k), w.depth + 1)))
                    w.trivial = false;
                return w.trivial ? CXChildVisit_Continue : CXChildVisit_Break;
            },
            &walk);
        return walk.trivial;
    }

    // True when something under `c` creates, or may create, an object whose
    // destructor an unwind would run: a variable, or a value of class type
    // (a temporary), of a type that is not trivially destructible.  Names of
    // existing objects (lvalues) create nothing.
    static bool may_hold_destructors(CXCursor c) {
        bool found = false;
        clang_visitChildren(
            c,
            [](CXCursor k, CXCursor, CXClientData data) {
                const CXCursorKind kind = clang_getCursorKind(k);
                const bool names_an_object = kind == CXCursor_DeclRefExpr || kind == CXCursor_MemberRefExpr ||
                                             kind == CXCursor_ArraySubscriptExpr;
                if ((kind == CXCursor_VarDecl || (clang_isExpression(kind) && !names_an_object)) &&
                    !trivially_destructible(clang_getCursorType(k))) {
                    *static_cast<bool *>(data) = true;
                    return CXChildVisit_Break;
                }
                return CXChildVisit_Recurse;
            },
            &found);
        return found;
    }

    static bool is_catch_all(CXCursor k) {
        if (clang_getCursorKind(k) != CXCursor_CXXCatchStmt) return false;
        auto kids = children(k);
        return kids.empty() || clang_getCursorKind(kids[0]) != CXCursor_VarDecl;
    }

    // Under the asynchronous model a try statement with a catch (...)
    // guards its body like a try/except whose handler is that clause.
    bool visit_cxx_try(CXCursor c, FunctionState *fs) {
        auto kids = children(c);
        bool catch_all = false;
        for (size_t i = 1; i < kids.size(); ++i) catch_all = catch_all || is_catch_all(kids[i]);
        if (!catch_all || kids.empty() || clang_getCursorKind(kids[0]) != CXCursor_CompoundStmt) return false;
        if (from_macro(kids[0])) {
            problem(c, "a try statement with a catch (...) whose body is written inside a macro cannot be lowered "
                       "for -fasync-exceptions");
            return true;
        }
        TryStmt t;
        t.id = int(model_.tries.size());
        t.function = fs->index;
        t.is_catch_all = true;
        model_.functions[fs->index].reentered = true;
        t.whole = t.body = range(kids[0]);
        t.handler = {t.body.end, t.body.end};
        t.body_without_destructors = !may_hold_destructors(kids[0]);
        model_.tries.push_back(t);
        fs->scopes.push_back({Scope::TryBody, t.id});
        visit(kids[0], fs);
        fs->scopes.pop_back();
        for (size_t i = 1; i < kids.size(); ++i) visit(kids[i], fs);
        return true;
    }

    void visit(CXCursor c, FunctionState *fs) {
        const CXCursorKind kind = clang_getCursorKind(c);
        if (is_function_like(kind)) {
            visit_function(c);
            return;
        }
        if (!fs) {
            for (CXCursor k : children(c)) visit(k, nullptr);
            return;
        }
        std::vector<int> left;
        switch (kind) {
        case CXCursor_SEHTryStmt:
            visit_try(c, fs);
            return;
        case CXCursor_CXXTryStmt:
            if (async_exceptions_ && !c_source_ && visit_cxx_try(c, fs)) return;
            break;
        case CXCursor_SEHLeaveStmt:
            return;   // found among the tokens: see scan_leaves
        case CXCursor_BreakStmt:
            if (bodies_inside(*fs, [](const Scope &s) { return s.kind == Scope::Loop || s.kind == Scope::Switch; }, &left))
                add_jump(c, *fs, JumpKind::Break, left);
            return;
        case CXCursor_ContinueStmt:
            if (bodies_inside(*fs, [](const Scope &s) { return s.kind == Scope::Loop; }, &left))
                add_jump(c, *fs, JumpKind::Continue, left);
            return;
        case CXCursor_ReturnStmt:
            bodies_inside(*fs, [](const Scope &) { return false; }, &left);
            add_jump(c, *fs, JumpKind::Return, left);
            for (CXCursor k : children(c)) visit(k, fs);
            return;
        case CXCursor_LabelStmt:
            fs->labels[range(c).begin] = bodies(*fs);
            break;
        case CXCursor_GotoStmt: {
            for (CXCursor k : children(c)) {
                if (clang_getCursorKind(k) != CXCursor_LabelRef) continue;
                CXCursor label = clang_getCursorReferenced(k);
                PendingGoto g;
                g.stmt = with_semicolon(range(c));
                g.label_offset = range(label).begin;
                g.label = take(clang_getCursorSpelling(label));
                g.bodies = bodies(*fs);
                g.from_macro = from_macro(c);
                fs->gotos.push_back(g);
            }
            return;
        }
        case CXCursor_CXXCatchStmt: {
            auto kids = children(c);
            if ((kids.empty() || clang_getCursorKind(kids[0]) != CXCursor_VarDecl) && !from_macro(c))
                model_.catch_alls.push_back(range(c).begin);
            if (!kids.empty() && clang_getCursorKind(kids[0]) == CXCursor_VarDecl &&
                take(clang_getCursorSpelling(kids[0])).empty() && !from_macro(kids[0])) {
                const CXType type = clang_getCanonicalType(clang_getCursorType(kids[0]));
                if (type.kind == CXType_Record) model_.reference_catches.push_back(range(kids[0]).end);
            }
            break;
        }
        case CXCursor_CallExpr:
            if (returns_twice(take(clang_getCursorSpelling(c)))) {
                model_.functions[fs->index].reentered = true;
                model_.functions[fs->index].calls_setjmp = true;
            }
            break;
        case CXCursor_IndirectGotoStmt:
            if (!bodies(*fs).empty()) problem(c, "a computed goto cannot be used inside a guarded block");
            break;
        default:
            break;
        }
        const bool loop = is_loop(kind), sw = kind == CXCursor_SwitchStmt;
        if (loop || sw) fs->scopes.push_back({loop ? Scope::Loop : Scope::Switch, -1});
        for (CXCursor k : children(c)) visit(k, fs);
        if (loop || sw) fs->scopes.pop_back();
    }
};

}  // namespace

Model scan(CXTranslationUnit unit, const std::string &text, bool c_source, bool async_exceptions) {
    return Scanner(unit, text, c_source, async_exceptions).run();
}

}  // namespace zeb::lower
