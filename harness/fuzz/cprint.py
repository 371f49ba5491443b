"""The C source of a program, in the dialect Windows toolchains compile.

Each event prints one line as it happens (standard output unbuffered, so a
crash keeps what came before) and folds into a checksum that becomes the
exit status."""
from .program import (CLASSES, MAX_DEPTH, ROUNDS, Call, Event, Fault, Jump, Labeled, LongJmp, Loop, Object, Raise,
                     Rethrow, SetJmp, Switch, Throw, Try, TryCatch, When, walk)

PRELUDE = r"""#include <windows.h>
#include <setjmp.h>
#include <stdarg.h>
#include <stdio.h>

static unsigned Sum;
static volatile int Sink;

static void Line(const char *format, ...)
{
    char text[128];
    va_list ap;
    const char *p;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    for (p = text; *p; p++)
        Sum = Sum * 31u + (unsigned char)*p;
    Sum = Sum * 31u + '\n';
    fputs(text, stdout);
    fputc('\n', stdout);
}

static int Identity(int x)
{
    return x;
}

static int ReadAt(volatile int *p)
{
    return *p;
}

static int Caught(unsigned long code)
{
    Line("M %%08lX", code);
    return EXCEPTION_EXECUTE_HANDLER;
}
"""

# C++ programs: the thrown classes and the local objects log their lives.
# The copy constructors log too, though no program should call them: every
# clause catches by reference.
CXX_PRELUDE = "".join(r"""
struct Thrown%(c)s {
    int id;
    explicit Thrown%(c)s(int i) : id(i) { Line("N%%d", id); }
    Thrown%(c)s(const Thrown%(c)s &other) : id(other.id) { Line("K%%d", id); }
    ~Thrown%(c)s() { Line("Z%%d", id); }
};
""" % {"c": c} for c in CLASSES) + r"""
struct Local {
    int id;
    explicit Local(int i) : id(i) { Line("O%d", id); }
    ~Local() { Line("D%d", id); }
};
"""

# A case's filters, with their own call counts: %(p)s names the case.
FILTER = r"""
static int %(p)sCount[%(filters)d];

static int %(p)sFilter(int id, EXCEPTION_POINTERS *ep)
{
    EXCEPTION_RECORD *r = ep->ExceptionRecord;
    unsigned long code = r->ExceptionCode, sum = 0, i;
    int n = ++%(p)sCount[id];
    for (i = 0; i < r->NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; i++)
        sum += (unsigned long)r->ExceptionInformation[i];
    Line("F%%d %%08lX %%lX %%lu %%lX", id, code, (unsigned long)(r->ExceptionFlags & 0x11),
         (unsigned long)r->NumberParameters, sum & 0xFFFFFFFFul);
    switch (id) {
%(cases)s    }
    return 0;
}
"""

MAIN = r"""
int main(void)
{
    volatile int round;
    setvbuf(stdout, NULL, _IONBF, 0);
    for (round = 0; round < %(rounds)d; round++) {
%(calls)s    }
    Line("X");
    return (int)(Sum %% 97u);
}
"""


def hexcode(code):
    return f"0x{code:08X}u"


def raise_call(r):
    if r.params:
        args = ", ".join(str(p) for p in r.params)
        return (f"{{ ULONG_PTR args[{len(r.params)}] = {{{args}}}; "
                f"RaiseException({hexcode(r.code)}, {r.flags}, {len(r.params)}, args); }}")
    return f"RaiseException({hexcode(r.code)}, {r.flags}, 0, NULL);"


def filter_case(f):
    lines = [f"    case {f.id}:"]
    if f.raise_ is not None:
        lines.append(f"        if (n == 1) {raise_call(f.raise_)}")
    for code, count, verdict in f.rules:
        cond = []
        if code is not None:
            cond.append(f"code == {hexcode(code)}")
        if count is not None:
            cond.append(f"n <= {count}")
        lines.append(f"        if ({' && '.join(cond)}) return {verdict};")
    lines.append(f"        return {f.default};")
    return "\n".join(lines) + "\n"


# Many cases in one program: each case runs as its own main would, from a
# checksum of zero, and then a line that is no event ends it with its status,
# so that the cases' outputs can be told apart and judged one by one.
BATCH_MAIN = r"""
int main(void)
{
    setvbuf(stdout, NULL, _IONBF, 0);
%(runs)s    return 0;
}
"""

CASE_END = "#"                       # the line ending a case in a batch: "#K STATUS"

# A C++ throw's parameters are addresses: a filter shows the ABI's magic
# number and the id of the object instead (its first member, whatever its class).
_FILTER_LINE = '    Line("F%%d %%08lX %%lX %%lu %%lX"'
CXX_FILTER = FILTER.replace(_FILTER_LINE, r"""    if (code == 0xE06D7363u && r->NumberParameters >= 2)
        Line("F%%d %%08lX %%lX C++ %%lX %%d", id, code, (unsigned long)(r->ExceptionFlags & 0x11),
             (unsigned long)r->ExceptionInformation[0], *(const int *)r->ExceptionInformation[1]);
    else
    """ + _FILTER_LINE)
assert CXX_FILTER != FILTER


def prelude(language):
    return PRELUDE % {} + (CXX_PRELUDE if language == "c++" else "")


class Printer:
    def __init__(self, program, prefix=""):
        self.p = program
        self.prefix = prefix          # the names of this case's functions begin with it
        self.out = []

    def emit(self, depth, text):
        self.out.append("    " * depth + text)

    def fn(self, i):
        return f"{self.prefix}f{i}"

    def case(self):
        """The case's filters and functions, without main."""
        filters = max(list(self.p.filters) + [0]) + 1
        cases = "".join(filter_case(self.p.filters[k]) for k in sorted(self.p.filters))
        cxx = self.p.language == "c++"
        self.out.append((CXX_FILTER if cxx else FILTER) % {"p": self.prefix, "filters": filters, "cases": cases})
        n = len(self.p.functions)
        for i in range(n):
            self.out.append(f"static void {self.fn(i)}(int depth, jmp_buf *env);")
        for i, body in enumerate(self.p.functions):
            self.out.append("")
            self.out.append(f"static void {self.fn(i)}(int depth, jmp_buf *env)")
            self.out.append("{")
            loops = sorted({s.id for s in walk(body) if isinstance(s, Loop)})
            for lid in loops:
                self.emit(1, f"volatile int i{lid};")
            self.emit(1, "(void)depth;")
            self.emit(1, "(void)env;")
            self.stmts(body, 1, "env")
            self.out.append("}")
        if cxx:
            for i in range(n):
                self.wrapper(i)

    def wrapper(self, i):
        """main's call of a function in C++: every thrown class ends in a catch here."""
        self.out.append("")
        self.out.append(f"static void {self.prefix}w{i}(void)")
        self.out.append("{")
        self.emit(1, "try {")
        self.emit(2, f"{self.fn(i)}(0, NULL);")
        for c in CLASSES:
            self.emit(1, f"}} catch (Thrown{c} &e) {{")
            self.emit(2, f'Line("M {c} %d", e.id);')
        self.emit(1, "}")
        self.out.append("}")

    def calls(self):
        call = (lambda i: f"{self.prefix}w{i}()") if self.p.language == "c++" else (lambda i: f"{self.fn(i)}(0, NULL)")
        return "".join(f"        __try {{\n            {call(i)};\n        }} __except (Caught((unsigned long)"
                       f"GetExceptionCode())) {{\n        }}\n" for i in range(len(self.p.functions)))

    def source(self):
        self.out.append(prelude(self.p.language))
        self.case()
        self.out.append(MAIN % {"rounds": ROUNDS, "calls": self.calls()})
        return "\n".join(self.out)

    def run_function(self):
        """The case's main as a function of its own."""
        self.out.append("")
        self.out.append(f"static void {self.prefix}run(void)")
        self.out.append("{")
        self.emit(1, "volatile int round;")
        self.emit(1, f"for (round = 0; round < {ROUNDS}; round++) {{")
        self.out.append(self.calls().rstrip("\n"))
        self.emit(1, "}")
        self.out.append("}")

    def stmts(self, stmts, depth, env):
        for s in stmts:
            self.stmt(s, depth, env)

    def block(self, head, stmts, depth, env, tail=""):
        self.emit(depth, head + " {")
        self.stmts(stmts, depth + 1, env)
        self.emit(depth, "}" + tail)

    def stmt(self, s, d, env):
        if isinstance(s, Event):
            self.emit(d, f'Line("E{s.id}");')
        elif isinstance(s, Try):
            self.block("__try", s.body, d, env)
            if s.kind == "except":
                self.emit(d, f"__except ({self.prefix}Filter({s.filter}, GetExceptionInformation())) {{")
                if s.handler_code:
                    self.emit(d + 1, f'Line("H{s.id} %08lX", (unsigned long)GetExceptionCode());')
                else:
                    self.emit(d + 1, f'Line("H{s.id}");')
            else:
                self.emit(d, "__finally {")
                self.emit(d + 1, f'Line("T{s.id} %d", AbnormalTermination() ? 1 : 0);')
            self.stmts(s.handler, d + 1, env)
            self.emit(d, "}")
        elif isinstance(s, Loop):
            self.block(f"for (i{s.id} = 0; i{s.id} < {s.count}; i{s.id}++)", s.body, d, env)
        elif isinstance(s, When):
            self.block(f"if (i{s.loop} == {s.value})", s.body, d, env)
        elif isinstance(s, Switch):
            self.emit(d, f"switch (Identity({s.value})) {{")
            for i, case in enumerate(s.cases):
                label = "default:" if i == len(s.cases) - 1 else f"case {i}:"
                self.block(label, case, d, env)
                self.emit(d + 1, "break;")
            self.emit(d, "}")
        elif isinstance(s, Labeled):
            self.block("", s.body, d, env, tail=f"\n{'    ' * d}L{s.id}: ;")
        elif isinstance(s, Jump):
            text = {"break": "break;", "continue": "continue;", "goto": f"goto L{s.target};",
                    "return": "return;", "leave": "__leave;"}[s.kind]
            self.emit(d, f"if (!AbnormalTermination()) {text}" if s.guarded else text)
        elif isinstance(s, Raise):
            self.emit(d, raise_call(s))
        elif isinstance(s, Fault):
            self.emit(d, "Sink = ReadAt(NULL);")
        elif isinstance(s, Call):
            self.emit(d, f"if (depth < {MAX_DEPTH}) {self.fn(s.callee)}(depth + 1, {env});")
        elif isinstance(s, SetJmp):
            self.emit(d, "{")
            self.emit(d + 1, f"jmp_buf Env{s.id};")
            self.block(f"if (setjmp(Env{s.id}) == 0)", s.body, d + 1, f"&Env{s.id}")
            self.emit(d + 1, "else {")
            self.emit(d + 2, f'Line("J{s.id}");')
            self.stmts(s.after, d + 2, env)
            self.emit(d + 1, "}")
            self.emit(d, "}")
        elif isinstance(s, Object):
            self.emit(d, f"Local o{s.id}({s.id});")
        elif isinstance(s, Throw):
            self.emit(d, f"throw Thrown{s.cls}({s.id});")
        elif isinstance(s, Rethrow):
            self.emit(d, f'Line("R{s.id}");')
            self.emit(d, "throw;")
        elif isinstance(s, TryCatch):
            self.emit(d, "try {")
            self.stmts(s.body, d + 1, env)
            for cls, handler in s.clauses:
                if cls == "...":
                    self.emit(d, "} catch (...) {")
                    self.emit(d + 1, f'Line("C{s.id}");')
                else:
                    self.emit(d, f"}} catch (Thrown{cls} &e{s.id}) {{")
                    self.emit(d + 1, f'Line("C{s.id} %d", e{s.id}.id);')
                self.stmts(handler, d + 1, env)
            self.emit(d, "}")
        elif isinstance(s, LongJmp):
            self.emit(d, f"if ({env}) longjmp(*{env}, 1);" if env == "env" else f"longjmp(*{env}, 1);")
        else:
            raise TypeError(s)



def c_source(program):
    return Printer(program).source() + "\n"


def batch_source(programs):
    """One program running the cases one after another (all of one language)."""
    out = [prelude(programs[0].language)]
    runs = []
    for k, program in enumerate(programs):
        pr = Printer(program, prefix=f"c{k}_")
        pr.case()
        pr.run_function()
        out += pr.out
        runs.append(f"    Sum = 0;\n    c{k}_run();\n    Line(\"X\");\n"
                    f"    printf(\"{CASE_END}{k} %u\\n\", Sum % 97u);\n")
    out.append(BATCH_MAIN % {"runs": "".join(runs)})
    return "\n".join(out) + "\n"
