"""The program tree the generator builds, the printer prints, the model runs
and the reducer cuts down.  Every statement list is a plain Python list, so
that the reducer can delete from it in place."""

# Exception codes.  A filter answers EXCEPTION_CONTINUE_EXECUTION for the
# continuable codes, which are raised only with flags 0 and never by a fault
# (continuing a fault would fault again for ever), and for the
# noncontinuable one, which the dispatcher must refuse.
CONTINUABLE = (0xE0000001, 0xE0000002)
NONCONTINUABLE = 0xE0000003          # always raised with EXCEPTION_NONCONTINUABLE
OTHER = (0xE0000004, 0xC0000005)     # 0xC0000005 raised in software
ACCESS_VIOLATION = 0xC0000005
EXCEPTION_NONCONTINUABLE = 1
NONCONTINUABLE_EXCEPTION = 0xC0000025   # raised when a filter continues a noncontinuable exception
EXCEPTION_NESTED_CALL = 0x10
MAX_DEPTH = 3                        # calls deeper than this are skipped
ROUNDS = 2                           # main calls every function this many times


class Program:
    def __init__(self, seed, functions, filters, language="c", kinds=None, async_=False):
        self.seed = seed
        self.functions = functions   # lists of statements; main calls each in turn
        self.filters = filters       # id -> Filter
        self.language = language     # "c" or "c++"
        # in a C++ program, each function's kind: "seh" (guarded blocks) or "cxx" (objects, try/catch)
        self.kinds = kinds or ["seh"] * len(functions)
        self.async_ = async_         # C++ built with -fasync-exceptions (/EHa)

    @property
    def build_kind(self):
        """What building the program needs: its language and its model."""
        return ("c++", self.async_) if self.language == "c++" else ("c", False)


class Filter:
    """Evaluated as: count this call; log; maybe raise (first call only);
    the first rule that matches gives the verdict, else `default`."""

    def __init__(self, id, rules, default, raise_=None):
        self.id = id
        self.rules = rules           # [(code or None, max_count or None, verdict)]
        self.default = default
        self.raise_ = raise_         # Raise or None


class Stmt:
    tags = ()                        # constructs this statement is, for statistics and known deviations

    def blocks(self):
        """The statement lists this statement holds."""
        return []


class Event(Stmt):
    def __init__(self, id):
        self.id = id


class Try(Stmt):
    """__try { body } __except (Filter(id)) { handler }, or __finally { handler }."""

    def __init__(self, id, kind, body, handler, filter=None, handler_code=False):
        self.id = id
        self.kind = kind             # "except" or "finally"
        self.body = body
        self.handler = handler
        self.filter = filter
        self.handler_code = handler_code   # the __except block logs GetExceptionCode()
        self.tags = ("try-" + kind,) + (("handler-code",) if handler_code else ())

    def blocks(self):
        return [self.body, self.handler]


class Loop(Stmt):
    def __init__(self, id, count, body):
        self.id, self.count, self.body = id, count, body
        self.tags = ("loop",)

    def blocks(self):
        return [self.body]


class When(Stmt):
    """if (index of loop `loop` == value) { body }"""

    def __init__(self, loop, value, body):
        self.loop, self.value, self.body = loop, value, body

    def blocks(self):
        return [self.body]


class Switch(Stmt):
    def __init__(self, id, value, cases):
        self.id, self.value, self.cases = id, value, cases
        self.tags = ("switch",)

    def blocks(self):
        return list(self.cases)


class Labeled(Stmt):
    """{ body } L<id>: ;  -- the target of gotos inside body."""

    def __init__(self, id, body):
        self.id, self.body = id, body

    def blocks(self):
        return [self.body]


class Jump(Stmt):
    """break, continue, goto, return or __leave.  `target` is the id of the
    loop, switch, label or try it leaves to; `guarded` jumps stand at the top
    of a __finally and jump only when it runs for a normal exit."""

    def __init__(self, kind, target, guarded=False, out_of_except=False):
        self.kind, self.target, self.guarded = kind, target, guarded
        tags = [kind]
        if guarded:
            tags.append("leave-in-finally" if kind == "leave" else "jump-out-of-finally")
        if out_of_except:
            tags.append("jump-out-of-except")
        self.tags = tuple(tags)


class Raise(Stmt):
    def __init__(self, code, flags, params):
        self.code, self.flags, self.params = code, flags, params
        tags = ["raise"]
        if flags & EXCEPTION_NONCONTINUABLE:
            tags.append("raise-noncontinuable")
        if params:
            tags.append("raise-params")
        self.tags = tuple(tags)


class Fault(Stmt):
    """A read through a null pointer in a called function."""
    tags = ("fault",)


class Call(Stmt):
    def __init__(self, callee, recursive):
        self.callee = callee
        self.tags = ("call", "recursion") if recursive else ("call",)


class SetJmp(Stmt):
    """if (setjmp(Env<id>) == 0) { body } else { J<id>; after }"""

    def __init__(self, id, body, after):
        self.id, self.body, self.after = id, body, after
        self.tags = ("setjmp",)

    def blocks(self):
        return [self.body, self.after]


class LongJmp(Stmt):
    """A long jump to the innermost setjmp around it: the function's own when
    there is one, else the one its caller passed (none: no jump)."""

    def __init__(self, in_finally):
        self.tags = ("longjmp", "longjmp-from-finally") if in_finally else ("longjmp",)


def walk(stmts):
    """Every statement, depth first, in program order."""
    for s in stmts:
        yield s
        for b in s.blocks():
            yield from walk(b)


def in_finally_body(around):
    """Whether a statement with these enclosing (statement, block index)
    pairs lies in the guarded body of a try/finally of its function."""
    return any(isinstance(n, Try) and n.kind == "finally" and i == 0 for n, i in around)


def finally_bodies_left(jump, around):
    """How many try/finally bodies a jump leaves on its way to its target."""
    passed = 0
    for n, i in reversed(around):
        if jump.kind != "return" and getattr(n, "id", None) == jump.target:
            break
        if isinstance(n, Try) and n.kind == "finally" and i == 0:
            passed += 1
    return passed


def except_bodies_left(jump, around):
    """How many __try bodies of try/except statements a break, continue or
    goto leaves on its way to its target (code runs at the target, unlike
    after a return or a __leave of the block itself)."""
    if jump.kind in ("return", "leave"):
        return 0
    passed = 0
    for n, i in reversed(around):
        if getattr(n, "id", None) == jump.target:
            break
        if isinstance(n, Try) and n.kind == "except" and i == 0:
            passed += 1
    return passed


def shape_tags(s, around, before=None):
    """The constructs a statement is by where it stands; `before` is the
    statement just before it in its block."""
    tags = set()
    if isinstance(s, Try) and s.kind == "finally" and before is not None and any(
            isinstance(x, LongJmp) for x in walk([before])):
        # the long jump's call may be the last instruction before the
        # guarded body, so its return address is the body's first
        tags.add("finally-after-longjmp")
    if isinstance(s, Try) and s.kind == "except" and in_finally_body(around):
        tags.add("except-in-finally-body")
    in_finally = any(isinstance(n, Try) and n.kind == "finally" and i == 1 for n, i in around)
    if isinstance(s, Raise) and in_finally:
        tags.add("raise-in-finally")
    if isinstance(s, Raise) and any(isinstance(n, Try) and n.kind == "except" and i == 1 for n, i in around):
        tags.add("raise-in-handler")
    in_catch = any(isinstance(n, TryCatch) and i > 0 for n, i in around)
    if isinstance(s, Throw) and in_catch:
        tags.add("throw-in-catch")
    if isinstance(s, (Raise, Fault)) and in_catch:
        tags.add("structured-in-catch")
    if isinstance(s, SetJmp):
        if in_finally_body(around):
            tags.add("setjmp-in-finally-body")
        if in_finally:
            tags.add("setjmp-in-finally")
    if isinstance(s, Jump):
        passed = finally_bodies_left(s, around)
        if passed:
            tags.add("jump-through-finally")
        if passed >= 2:
            tags.add("jump-through-two-finallys")
        if passed and sum(1 for n, i in around if isinstance(n, Try) and n.kind == "finally" and i == 0) >= 2:
            tags.add("jump-through-nested-finally")
        if except_bodies_left(s, around):
            tags.add("jump-out-of-try-except")
    return tags


def static_constructs(program):
    """The constructs a program's text contains, including the shapes that
    only the nesting shows: a try/except inside the guarded body of a
    try/finally of the same function, and jumps that leave one or more
    try/finally bodies."""
    found = set()

    def visit(stmts, around):
        for k, s in enumerate(stmts):
            found.update(s.tags)
            found.update(shape_tags(s, around, stmts[k - 1] if k else None))
            if call_before_try(stmts, k):
                found.add("call-before-try")
            if code_after_try_catch(stmts, k, around):
                found.add("code-after-try-catch")
            if isinstance(s, Try) and s.filter is not None:
                found.update(filter_tags(program.filters[s.filter]))
            for i, b in enumerate(s.blocks()):
                visit(b, around + [(s, i)])

    for body in program.functions:
        visit(body, [])
        if setjmp_with_finally(body):
            found.add("setjmp-with-finally")
    if program.language == "c++":
        found.add("cxx")
        if program.async_:
            found.add("cxx-async")
    return found


def setjmp_with_finally(body):
    """Whether a function has both a setjmp and a try/finally: clang-19
    (mingw, C++ without -fasync-exceptions) then keeps a frame pointer
    above the stack pointer, and the outlined __finally reads the function's
    locals at offsets from the one through the other."""
    stmts = list(walk(body))
    return any(isinstance(s, SetJmp) for s in stmts) and any(isinstance(s, Try) and s.kind == "finally"
                                                             for s in stmts)


def code_after_try_catch(stmts, n, around):
    """Whether stmts[n] is a try/catch that code may follow in its function
    (anything but the last statement of the function's body): under
    -fasync-exceptions clang-19 marks where a try body begins but not where
    control leaves it normally, so that code can get the try's state."""
    return isinstance(stmts[n], TryCatch) and (bool(around) or n + 1 < len(stmts))


def call_before_try(stmts, n):
    """Whether stmts[n] ends in a call that an exception or a long jump can
    leave the frame at (a call of a function, RaiseException, longjmp, the
    __finally of a try/finally, the last call of an __except block) right
    before a guarded block: the call's return address is then the block's
    first instruction unless the compiler puts something between them, and
    a frame unwound from the call looks inside the block to a handler that
    looks it up by that address.  (A fault's call is followed by the store
    of what it read.)"""
    if isinstance(stmts[n], Switch) and _noreturn_into_try(stmts[n].cases):
        return True
    if not _ends_in_call(stmts[n]):
        return False
    m = n + 1
    # after a long jump nothing runs until a label: the compiler drops it
    while m < len(stmts) and (_no_code(stmts[m]) or isinstance(stmts[n], LongJmp)
                              and not isinstance(stmts[m], (Labeled, Try))):
        m += 1
    return m < len(stmts) and _starts_with_try(stmts[m])


def _noreturn_into_try(cases):
    """Whether a case ends in a long jump (a call that does not return, so
    nothing follows it) and the next case begins with a guarded block."""
    return any(any(isinstance(s, LongJmp) for s in case) and following and _starts_with_try(following[0])
               for case, following in zip(cases, cases[1:]))


def _no_code(s, label=None):
    """A labelled block of nothing: braces and a label, no instruction (a
    goto to its own label, right before it, is folded away too)."""
    if isinstance(s, Jump):
        return s.kind == "goto" and s.target == label
    return isinstance(s, Labeled) and all(_no_code(x, s.id) for x in s.body)


# Whether a path out of s falls through from a call to what follows.  The
# compiler folds a jump to the next block away, drops blocks nothing
# reaches, and lays the branches of an `if` out in either order, so every
# way out of a statement's blocks may be the last one laid out: the end of
# either branch of an `if` (a setjmp's, an iteration's test), of any case
# of a switch (its break jumps to the end), a handler's end, and a break or
# goto that leaves the statement right after a call.  A labelled block is
# only braces and a label.  A try/finally ends in a call: clang runs the
# __finally of the normal path by calling its outlined copy.  A loop's own
# end is its test.
def _ends_in_call(s):
    if isinstance(s, (Call, Raise, LongJmp)) or isinstance(s, Try) and s.kind == "finally":
        return True
    if isinstance(s, Try):
        tails = [s.handler]
    elif isinstance(s, (Labeled, When)):
        tails = [s.body]
    elif isinstance(s, SetJmp):
        tails = [s.body, s.after]
    elif isinstance(s, Switch):
        tails = s.cases
    else:
        tails = []
    return (any(_last_ends_in_call(b) for b in tails)
            or isinstance(s, (Loop, Switch, Labeled)) and _leaves_after_call(s, s.blocks()))


def _leaves_after_call(s, blocks):
    """Whether a break or goto to s's end stands right after a call."""
    for stmts in blocks:
        for k, x in enumerate(stmts):
            if (isinstance(x, Jump) and x.kind in ("break", "goto") and x.target == s.id and k
                    and _ends_in_call(stmts[k - 1])):
                return True
            if _leaves_after_call(s, x.blocks()):
                return True
    return False


def _last_ends_in_call(stmts):
    # what follows a long jump is dropped: the block ends in its call
    return bool(stmts) and (_ends_in_call(stmts[-1]) or any(isinstance(s, LongJmp) for s in stmts))


def _starts_with_try(s):
    if isinstance(s, Labeled):
        return bool(s.body) and _starts_with_try(s.body[0])
    return isinstance(s, Try)


def filter_tags(f):
    tags = set()
    if f.raise_ is not None:
        tags.add("raise-in-filter")
    if not f.rules:
        tags.add("filter-constant")
    for code, count, verdict in f.rules:
        if code is not None:
            tags.add("filter-code")
        if count is not None:
            tags.add("filter-count")
        if verdict == -1:
            tags.add("filter-continue-execution")
    return tags


def size(program):
    return sum(1 for body in program.functions for _ in walk(body))


# -- C++ programs: functions of two kinds, never mixed in one function (the
# platform's compilers refuse guarded blocks beside C++ try statements, and
# clang refuses a __try in a function that needs object unwinding).

CXX_CODE = 0xE06D7363                # a C++ throw as a structured exception (Microsoft's ABI)
CXX_MAGIC = 0x19930520               # its first parameter
CLASSES = ("A", "B")                 # the thrown classes; catch clauses name one or "..."


class Object(Stmt):
    """A local object of a class whose constructor and destructor log: it
    lives to the end of the statement list that declares it."""
    tags = ("object",)

    def __init__(self, id):
        self.id = id


class TryCatch(Stmt):
    """try { body } catch (A &) { ... } catch (B &) { ... } catch (...) { ... }:
    clauses is [(class or "...", statements)], a catch-all last."""

    def __init__(self, id, body, clauses):
        self.id, self.body, self.clauses = id, body, clauses
        self.tags = ("try-catch",) + (("catch-all",) if any(c == "..." for c, _ in clauses) else ())

    def blocks(self):
        return [self.body] + [h for _, h in self.clauses]


class Throw(Stmt):
    """throw CLASS(id): a new object, which logs its making and its end."""

    def __init__(self, id, cls):
        self.id, self.cls = id, cls
        self.tags = ("throw",)


class Rethrow(Stmt):
    """throw; in a catch clause (logged first)."""
    tags = ("rethrow",)

    def __init__(self, id):
        self.id = id
