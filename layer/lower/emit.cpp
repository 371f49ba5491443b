#include "emit.h"

#include <algorithm>
#include <functional>

namespace zeb::lower {
namespace {

std::string n(int id) { return std::to_string(id); }

size_t newlines(const std::string &s) { return size_t(std::count(s.begin(), s.end(), '\n')); }

// A piece of the source that is replaced: generated when rendered, so that
// the pieces nested inside it are rendered first.
struct Site {
    Range range;
    std::function<std::string()> generate;
};

class Emitter {
public:
    Emitter(Model &model, const std::string &text, const std::string &path, bool c)
        : m_(model), text_(text), path_(path), c_(c) {
        line_starts_.push_back(0);
        for (size_t i = 0; i < text_.size(); ++i)
            if (text_[i] == '\n') line_starts_.push_back(unsigned(i + 1));
    }

    std::string run() {
        plan_jumps();
        for (const TryStmt &t : m_.tries) {
            const int id = t.id;
            sites_.push_back({t.whole, [this, id] { return try_stmt(m_.tries[id]); }});
        }
        for (size_t i = 0; i < jump_text_.size(); ++i)
            sites_.push_back({m_.jumps[i].stmt, [this, i] { return jump_text_[i](); }});
        for (const Function &f : m_.functions) {
            if (!f.setjmp_frame_plain) continue;
            // What setjmp records of this frame (the file-scope default is 0).
            const unsigned at = f.body.begin + 1;
            sites_.push_back({{at, at}, [] { return std::string("enum { __seh_frame_without_destructors = 1 }; "); }});
        }
        for (const Function &f : m_.functions) {
            if (!f.needs_return_slot) continue;
            const unsigned at = f.body.begin + 1;
            const std::string decl = f.result_type + " __seh_ret; ";
            sites_.push_back({{at, at}, [decl] { return decl; }});
        }
        for (unsigned at : m_.reference_catches) sites_.push_back({{at, at}, [] { return std::string("&"); }});
        for (const Range &d : m_.unoptimised) {
            sites_.push_back({{d.begin, d.begin}, [] { return std::string("__SEH_UNOPTIMISED_BEGIN "); }});
            sites_.push_back({{d.end, d.end}, [] { return std::string(" __SEH_UNOPTIMISED_END"); }});
        }
        for (unsigned at : m_.catch_alls)
            sites_.push_back({{at, at}, [] { return std::string("catch (abi::__forced_unwind &) { __seh_rethrow(); } "); }});
        std::stable_sort(sites_.begin(), sites_.end(), [](const Site &a, const Site &b) {
            if (a.range.begin != b.range.begin) return a.range.begin < b.range.begin;
            const bool a_insert = a.range.end == a.range.begin, b_insert = b.range.end == b.range.begin;
            if (a_insert != b_insert) return a_insert;
            return a.range.end > b.range.end;
        });
        return render({0, unsigned(text_.size())});
    }

private:
    Model &m_;
    const std::string &text_;
    const std::string &path_;
    std::vector<unsigned> line_starts_;
    bool c_;   // C output: filters are nested functions, no C++ exceptions
    std::vector<Site> sites_;
    std::vector<std::function<std::string()>> jump_text_;
    std::vector<bool> exit_used_;

    std::string original(Range r) const {
        return r.end > r.begin && r.end <= text_.size() ? text_.substr(r.begin, r.end - r.begin) : std::string();
    }

    // Text that follows generated text on the same line starts a line of its
    // own, put back at its line and column, so that the compiler's
    // diagnostics point at the source as written.
    std::string back_in_place(unsigned at) const {
        const auto next = std::upper_bound(line_starts_.begin(), line_starts_.end(), at);
        const unsigned line = unsigned(next - line_starts_.begin());
        const unsigned column = at - *(next - 1);
        return "\n#line " + std::to_string(line) + " " + quoted_path(path_) + "\n" + std::string(column, ' ');
    }

    // A block of the source inside generated text.
    std::string render_block(Range r) const { return back_in_place(r.begin) + render(r); }

    // `in_place`: keep the columns of the text after each generated piece
    // (not inside expressions, which are moved or flattened).
    std::string render(Range r, bool in_place = true) const {
        std::string out;
        unsigned pos = r.begin;
        for (const Site &s : sites_) {
            if (s.range.begin < pos || s.range.end > r.end || s.range.begin < r.begin) continue;
            out.append(text_, pos, s.range.begin - pos);
            std::string generated = s.generate();
            const size_t want = newlines(original(s.range));
            for (size_t have = newlines(generated); have < want; ++have) generated += '\n';
            out += generated;
            pos = s.range.end;
            if (in_place && pos < r.end && text_[pos] != '\n') out += back_in_place(pos);
        }
        out.append(text_, pos, r.end - pos);
        return out;
    }

    // Relocated text (a filter moved before its guarded body) goes on one
    // line; its line breaks stay where it was.  A line comment in it would
    // swallow the rest of that line, so comments go; a line continuation
    // joins its lines.
    static std::string flatten(const std::string &s) {
        std::string out;
        char quote = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            const char ch = s[i];
            if (ch == '\\' && i + 1 < s.size() && (s[i + 1] == '\n' || s[i + 1] == '\r')) {
                i += s[i + 1] == '\r' && i + 2 < s.size() && s[i + 2] == '\n' ? 2 : 1;
                continue;
            }
            if (quote) {
                out += ch;
                if (ch == '\\' && i + 1 < s.size()) out += s[++i];
                else if (ch == quote) quote = 0;
                continue;
            }
            if (ch == '"' || ch == '\'') {
                quote = ch;
                out += ch;
            } else if (ch == '/' && i + 1 < s.size() && s[i + 1] == '/') {
                while (i + 1 < s.size() && s[i + 1] != '\n' && s[i + 1] != '\r') ++i;
                out += ' ';
            } else if (ch == '/' && i + 1 < s.size() && s[i + 1] == '*') {
                const size_t end = s.find("*/", i + 2);
                i = end == std::string::npos ? s.size() : end + 1;
                out += ' ';
            } else {
                out += ch == '\n' || ch == '\r' ? ' ' : ch;
            }
        }
        return out;
    }

    static std::string lines_of(const std::string &s) { return std::string(newlines(s), '\n'); }

    std::string final_action(const Jump &j, const std::string &value) const {
        switch (j.kind) {
        case JumpKind::Goto: return "goto " + j.label + ";";
        case JumpKind::Break: return "break;";
        case JumpKind::Continue: return "continue;";
        case JumpKind::Return:
            if (value.empty()) return "return;";
            return m_.functions[j.function].result_type == "void" ? "return;" : "return __seh_ret;";
        case JumpKind::Leave: break;
        }
        return "";
    }

    // Each jump that leaves guarded bodies: pops their records and runs the
    // termination handlers it passes, innermost first, each once, then
    // jumps.  A return value is computed before any handler runs.
    void plan_jumps() {
        exit_used_.assign(m_.tries.size(), false);
        for (size_t i = 0; i < m_.jumps.size(); ++i) {
            Jump &j = m_.jumps[i];
            if (j.kind == JumpKind::Leave) {
                const int target = j.leave_target;
                if (m_.tries[target].is_finally)
                    jump_text_.push_back([target] {
                        return "{ __seh_x" + n(target) + " = __SEH_LEAVE_EXIT; goto __seh_leave_" + n(target) + "; }";
                    });
                else
                    jump_text_.push_back([target] { return "goto __seh_leave_" + n(target) + ";"; });
                continue;
            }
            std::vector<int> finallies;
            for (int t : j.left)
                if (m_.tries[t].is_finally) finallies.push_back(t);
            const int outermost = j.left.back();
            const bool has_value = j.value.end > j.value.begin;
            Function &f = m_.functions[j.function];
            const bool void_value = has_value && f.result_type == "void";
            const std::string pop = "__seh_head = __seh_r" + n(outermost) + ".prev; ";

            if (finallies.empty() && c_ && has_value && !void_value) {
                f.needs_return_slot = true;
                jump_text_.push_back([this, i, pop] {
                    return "{ __seh_ret = (" + render(m_.jumps[i].value, false) + "); " + pop + "return __seh_ret; }";
                });
                continue;
            }
            if (finallies.empty()) {
                jump_text_.push_back([this, i, pop, has_value, void_value] {
                    const Jump &jj = m_.jumps[i];
                    if (!has_value) return "{ " + pop + final_action(jj, "") + " }";
                    const std::string value = render(jj.value, false);
                    if (void_value) return "{ (" + value + "); " + pop + "return; }";
                    return "return __seh_pop_after((" + value + "), &__seh_r" + n(jj.left.back()) + ");";
                });
                continue;
            }
            if (has_value && !void_value) {
                if (f.is_lambda) {
                    m_.problems.push_back({j.stmt.begin, "a return with a value out of a __finally block is not supported inside a lambda"});
                    jump_text_.push_back([] { return std::string(); });
                    continue;
                }
                f.needs_return_slot = true;
            }
            std::vector<int> codes;
            for (int t : finallies) {
                codes.push_back(2 + int(m_.tries[t].continuations.size()));
                m_.tries[t].continuations.emplace_back();
                exit_used_[t] = true;
            }
            for (size_t k = 0; k < finallies.size(); ++k) {
                std::string &cont = m_.tries[finallies[k]].continuations[codes[k] - 2];
                if (k + 1 < finallies.size())
                    cont = "{ __seh_x" + n(finallies[k + 1]) + " = " + n(codes[k + 1]) + "; goto __seh_exit_" +
                           n(finallies[k + 1]) + "; }";
                else
                    cont = "{ " + pop + final_action(j, has_value ? "v" : "") + " }";
            }
            const int first = finallies.front(), first_code = codes.front();
            jump_text_.push_back([this, i, has_value, void_value, first, first_code] {
                std::string out = "{ ";
                if (has_value) {
                    const std::string value = render(m_.jumps[i].value, false);
                    out += void_value ? "(" + value + "); " : "__seh_ret = (" + value + "); ";
                }
                return out + "__seh_x" + n(first) + " = " + n(first_code) + "; goto __seh_exit_" + n(first) + "; }";
            });
        }
    }

    std::string push(const TryStmt &t, const char *kind) const {
        const std::string r = "&__seh_r" + n(t.id);
        if (c_) return std::string("__seh_push(") + r + ", " + kind + ", __builtin_frame_address(0)); ";
        const char *flags = t.body_without_destructors ? "__SEH_CXX_UNWINDS | __SEH_NO_DESTRUCTORS" : "__SEH_CXX_UNWINDS";
        return std::string("__seh_push_flags(") + r + ", " + kind + ", __builtin_frame_address(0), " + flags + "); ";
    }

    // The body of a try statement with a catch (...): its record takes a
    // structured exception like a try/except, and the unwind that arrives
    // throws it into the catch (...).
    std::string catch_all_body(const TryStmt &t) const {
        const std::string r = "__seh_r" + n(t.id), id = n(t.id);
        std::string out = "{ __seh_record " + r + "; if (__builtin_setjmp(" + r + ".landing) == 0) { " +
                          push(t, "__SEH_CATCH_ALL") + "try {";
        // The body's inside: the body itself is this piece's own range.
        out += render_block({t.body.begin + 1, t.body.end - 1}) + "}";
        out += " catch (abi::__forced_unwind &) { if (!__seh_unwind_arrived(&" + r + ")) { __seh_pop_if(&" + r +
               "); __seh_rethrow(); } goto __seh_h" + id + "; } catch (...) { __seh_pop_if(&" + r +
               "); __seh_rethrow(); } __seh_head = " + r + ".prev; } else { __seh_h" + id +
               ": __seh_throw_structured(); } }";
        return out;
    }

    std::string try_stmt(const TryStmt &t) const {
        if (t.is_catch_all) return catch_all_body(t);
        const std::string r = "__seh_r" + n(t.id), id = n(t.id);
        const std::string head = original({t.whole.begin, t.body.begin});
        const std::string middle = original({t.body.end, t.handler.begin});
        std::string out;
        if (!t.is_finally) {
            const std::string filter = flatten(render(t.filter, false));
            const std::string filter_body = "{ DWORD __seh_code = __seh_info->ExceptionRecord->ExceptionCode; "
                                            "(void)__seh_code; return (int)(" + filter + "); }";
            if (c_)
                // A GNU C nested function: it reads and writes the function's
                // locals while the frames below are still alive.
                out = "{ struct __seh_record " + r + "; int __seh_f" + id +
                      "(void *__seh_closure, EXCEPTION_POINTERS *__seh_info) { (void)__seh_closure; " + filter_body.substr(1) +
                      " " + r + ".filter = 0; " + r + ".closure = (void *)__seh_f" + id + "; ";
            else
                out = "{ __seh_record " + r + "; auto __seh_f" + id + " = [&](EXCEPTION_POINTERS *__seh_info) -> int " +
                      filter_body + "; __seh_set_filter(&" + r + ", __seh_f" + id + "); ";
            out += "if (__builtin_setjmp(" + r + ".landing) == 0) { " + push(t, "__SEH_EXCEPT") + (c_ ? "" : "try ") +
                   lines_of(head);
            out += render_block(t.body);
            // The unwinder's unwind to this block arrives in the clause;
            // the destructors and termination handlers inside have run.
            if (!c_)
                out += " catch (abi::__forced_unwind &) { if (!__seh_unwind_arrived(&" + r + ")) { __seh_pop_if(&" + r +
                       "); __seh_rethrow(); } goto __seh_h" + id + "; } catch (...) { __seh_pop_if(&" + r + "); __seh_rethrow(); }";
            out += std::string(" ") + (t.leave_used ? "__seh_leave_" + id + ": ; " : "") + "__seh_head = " + r +
                   ".prev; } else { " + (c_ ? "" : "__seh_h" + id + ": ; ") + "DWORD __seh_code = " + r +
                   ".code; (void)__seh_code; " + lines_of(middle);
            out += render_block(t.handler);
            out += " } }";
            return out;
        }
        // A C++ exception that leaves the body runs the termination handler
        // too (exit -1), then goes on.
        const std::string x = "__seh_x" + id;
        out = "{ struct __seh_record " + r + "; int " + x + " = 0; ";
        out += "if (__builtin_setjmp(" + r + ".landing) != 0) " + x + " = 1; else { " + push(t, "__SEH_FINALLY") +
               (c_ ? "" : "try ") + lines_of(head);
        out += render_block(t.body);
        out += " ";
        if (!c_)
            out += "catch (abi::__forced_unwind &) { if (!__seh_unwind_passes(&" + r + ")) { __seh_pop_if(&" + r +
                   "); __seh_rethrow(); } " + x + " = 1; goto __seh_exit_" + id + "; } catch (...) { __seh_hold(&" + r + "); " + x +
                   " = -1; goto __seh_exit_" + id + "; } ";
        // A __leave has set its own exit code (normal, 0).
        out += x + " = 0; " + (t.leave_used ? "__seh_leave_" + id + ": " : "") +
               (exit_used_[t.id] || !c_ ? "__seh_exit_" + id + ": " : "") + "__seh_head = " + r + ".prev; } { int __seh_abnormal = " + x + " != 0; (void)__seh_abnormal; " + lines_of(middle);
        out += "if (__SEH_FINALLY_RUNS(" + x + ")) " + render_block(t.handler);
        out += " } if (" + x + " == 1) __seh_unwind(&" + r + ".goal);";
        if (!c_) out += " else if (" + x + " == -1) __seh_rethrow_held(&" + r + ");";
        for (size_t k = 0; k < t.continuations.size(); ++k)
            out += " else if (" + x + " == " + n(int(k) + 2) + ") " + t.continuations[k];
        out += " }";
        return out;
    }
};

}  // namespace

std::string quoted_path(const std::string &path) {
    std::string quoted = "\"";
    for (char ch : path) {
        if (ch == '"' || ch == '\\') quoted += '\\';
        quoted += ch;
    }
    return quoted + "\"";
}

std::string line_directive(const std::string &path) { return "#line 1 " + quoted_path(path) + "\n"; }

std::string emit(Model &model, const std::string &text, const std::string &path, bool c) {
    // The run-time's header is included "from" the source's first line, so
    // that no message names the lowered copy.
    const std::string line = line_directive(path);
    std::string body = Emitter(model, text, path, c).run();
    // A byte-order mark is only valid at the very start of a file.
    if (body.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) body.erase(0, BYTE_ORDER_MARK.size());
    return line + "#include <seh_runtime.h>\n" + line + body;
}

}  // namespace zeb::lower
