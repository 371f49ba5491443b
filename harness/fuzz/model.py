"""What a program must print and return, by the documented semantics of
structured exception handling, worked out by interpreting its tree.

Control transfers are Python exceptions: an exception's unwind, a long
jump, and each kind of jump.  Passing a try/finally on its way out runs the
termination handler (AbnormalTermination() true, except for a __leave of
its own block), innermost first, exactly as the platform's unwind must; a
new transfer raised in a termination handler replaces the one that ran it.

Dispatch is the two-phase search: filters are called innermost first over
the guarded blocks still active, before any termination handler runs.  An
exception raised inside a filter is dispatched from the filter: every block
still active is searched again, innermost first, with EXCEPTION_NESTED_CALL
set in the record's flags up to and including the frame whose filter
raised it, and clear beyond that frame.

C++ programs add objects, try/catch and throws to the same search: a throw
is the structured exception 0xE06D7363 (noncontinuable), offered to the
filters and catch clauses innermost first; a catch (...) takes structured
exceptions too only under the asynchronous model (-fasync-exceptions,
/EHa).  The unwind destroys the objects it leaves, innermost first, in order
with the termination handlers.  A thrown object is destroyed once: when the
last catch clause holding it ends (a clause left by its own rethrow does
not end it, unless the rethrow is taken by an __except), or, taken by an
__except straight from its throw, as that handler is entered.  Under the
synchronous model (/EHs) a structured exception or long jump that unwinds
a live object or a running catch clause has no defined outcome (Windows
documents that the objects may not be destroyed): such programs are drawn
again, as is a throw that would leave a termination handler run by an
unwind."""
from .program import (CXX_CODE, CXX_MAGIC, Object, Rethrow, Throw, TryCatch)
from .program import (ACCESS_VIOLATION, EXCEPTION_NESTED_CALL, EXCEPTION_NONCONTINUABLE, MAX_DEPTH, NONCONTINUABLE_EXCEPTION, ROUNDS, Call, Event,
                     Fault, Jump, Labeled, LongJmp, Loop, Raise, SetJmp, Switch, Try, When)

MAX_STEPS = 4000
MAX_LINES = 400


class TooLong(Exception):
    """The program runs longer than a fuzz program should."""


class ModelError(Exception):
    """The program does something whose outcome is not defined."""


class Undefined(ModelError):
    """The outcome depends on what the build model leaves open."""


class Transfer(Exception):
    passed = 0                       # termination handlers run on the way


class Unwind(Transfer):
    def __init__(self, target, record):
        self.target, self.record = target, record


class LongJump(Transfer):
    def __init__(self, env):
        self.env = env


class JumpTo(Transfer):
    def __init__(self, kind, target):
        self.kind, self.target = kind, target


class ReturnFrom(Transfer):
    pass


class Record:
    def __init__(self, code, flags, params, thrown=None):
        self.code, self.flags, self.params = code, flags, params
        self.thrown = thrown         # the Throw of a C++ exception's object, else None
        self.holders = 0             # catch clauses running that hold the object
        self.destroyed = False

    @property
    def cxx(self):
        return self.thrown is not None


WRAPPER = "wrapper"                  # the node of the catch clauses around each of main's calls in C++


class Block:
    """An active guarded block: a try node (None for main's) and its frame."""

    def __init__(self, node, frame):
        self.node, self.frame = node, frame


class Outcome:
    def __init__(self, lines, status, constructs):
        self.lines, self.status, self.constructs = lines, status, constructs

    @property
    def stdout(self):
        return "".join(line + "\n" for line in self.lines)


class Model:
    def __init__(self, program):
        self.p = program
        self.lines = []
        self.sum = 0
        self.blocks = []
        self.count = {}
        self.steps = 0
        self.frames = 0
        self.abnormal = []           # AbnormalTermination() of the running termination handlers
        self.indexes = {}            # (frame, loop id) -> index
        self.seen = set()            # constructs executed
        self.handlers = 0            # __except blocks running
        self.caught = []             # the records of the catch clauses running, innermost last

    # -- output

    def line(self, text):
        if len(self.lines) >= MAX_LINES:
            raise TooLong()
        self.lines.append(text)
        for ch in text + "\n":
            self.sum = (self.sum * 31 + ord(ch)) & 0xFFFFFFFF

    def run(self, calls=None):
        """main's calls, by function index: each function ROUNDS times unless given."""
        if calls is None:
            calls = list(range(len(self.p.functions))) * ROUNDS
        for fn in calls:
            main = Block(None, 0)
            self.blocks.append(main)
            try:
                if self.p.language == "c++":
                    self.wrapped(fn)
                else:
                    self.call(fn, 0, None)
            except Unwind as u:
                if u.target is not main:
                    raise ModelError("unwind to a block that is gone")
            except Transfer:
                raise ModelError("a jump left main")
            self.blocks.pop()
        self.line("X")
        return Outcome(self.lines, self.sum % 97, self.seen)

    def wrapped(self, fn):
        """main's call in a C++ program: a function whose catch clauses take
        every thrown class, so that each C++ exception ends in a catch."""
        wrapper = Block(WRAPPER, 0)
        self.blocks.append(wrapper)
        try:
            self.call(fn, 0, None)
        except Unwind as u:
            if u.target is not wrapper:
                raise
            self.line(f"M {u.record.thrown.cls} {u.record.thrown.id}")
            self.destroy_thrown(u.record)
        finally:
            self.blocks.remove(wrapper)

    def destroy_thrown(self, record):
        if record.destroyed:
            raise ModelError("an object destroyed twice")
        record.destroyed = True
        self.line(f"Z{record.thrown.id}")

    def catch_clause(self, node, record):
        """The index of node's clause that takes the exception, or None."""
        for i, (cls, _) in enumerate(node.clauses):
            if cls == "..." and (record.cxx or self.p.async_):
                return i
            if record.cxx and cls == record.thrown.cls:
                return i
        return None

    # -- dispatch

    def dispatch(self, record, filter_frame=None):
        """Searches for a block that takes the exception; returns when a
        filter answers EXCEPTION_CONTINUE_EXECUTION."""
        nested = filter_frame is not None
        reached = False
        for i in range(len(self.blocks) - 1, -1, -1):
            b = self.blocks[i]
            if nested:
                if b.frame == filter_frame:
                    reached = True
                elif reached:
                    nested = False
            if b.node is None:
                self.line(f"M {record.code:08X}")
                raise Unwind(b, record)
            if b.node is WRAPPER:
                if record.cxx:
                    raise Unwind(b, record)
                continue
            if isinstance(b.node, TryCatch):
                clause = self.catch_clause(b.node, record)
                if clause is not None:
                    u = Unwind(b, record)
                    u.clause = clause
                    raise u
                continue
            if b.node.kind == "except":
                try:
                    verdict = self.filter(b, record, nested)
                except Unwind as u:
                    if record.cxx and u.record is not record:
                        # an exception raised in the filter and taken ends the
                        # throw's dispatch: what becomes of its object is the
                        # C++ run-time's own
                        raise Undefined("a C++ exception abandoned by an exception raised in a filter")
                    raise
                if verdict == 1:
                    raise Unwind(b, record)
                if verdict == -1:
                    if record.code == ACCESS_VIOLATION:
                        raise ModelError("continue execution of a fault")
                    if record.flags & EXCEPTION_NONCONTINUABLE:
                        # the dispatcher refuses: a new, noncontinuable
                        # exception searched from the start, every filter
                        # again; raised where the refused one was, so inside
                        # the same filter when that one came from a filter
                        self.seen.add("continue-noncontinuable")
                        self.dispatch(Record(NONCONTINUABLE_EXCEPTION, EXCEPTION_NONCONTINUABLE, []), filter_frame)
                        raise ModelError("a noncontinuable exception continued")
                    self.seen.add("continue-execution")
                    return
                if verdict != 0:
                    raise ModelError(f"filter verdict {verdict}")
        raise ModelError("unhandled exception")

    def filter(self, block, record, nested):
        f = self.p.filters[block.node.filter]
        n = self.count[f.id] = self.count.get(f.id, 0) + 1
        flags = (record.flags | (EXCEPTION_NESTED_CALL if nested else 0)) & 0x11
        if nested:
            self.seen.add("nested-flag")
        if record.cxx:
            # the parameters are addresses; the filter shows the magic number and the object's id
            self.seen.add("filter-sees-throw")
            self.line(f"F{f.id} {record.code:08X} {flags:X} C++ {CXX_MAGIC:X} {record.thrown.id}")
        else:
            self.line(f"F{f.id} {record.code:08X} {flags:X} {len(record.params)} {sum(record.params) & 0xFFFFFFFF:X}")
        if f.raise_ is not None and n == 1:
            self.seen.add("raise-in-filter")
            self.raise_(f.raise_, filter_frame=block.frame)
        for code, count, verdict in f.rules:
            if (code is None or code == record.code) and (count is None or n <= count):
                return verdict
        return f.default

    def raise_(self, r, filter_frame=None):
        self.seen.update(r.tags)
        if self.abnormal and filter_frame is None:
            self.seen.add("raise-in-finally")
        if self.handlers and filter_frame is None:
            self.seen.add("raise-in-handler")
        self.dispatch(Record(r.code, r.flags, list(r.params)), filter_frame)

    # -- statements

    def call(self, fn, depth, env):
        self.frames += 1
        frame = self.frames
        try:
            self.stmts(self.p.functions[fn], frame, depth, env)
        except ReturnFrom:
            pass

    def stmts(self, stmts, frame, depth, env):
        alive = []                   # the objects this list made, in order
        try:
            for s in stmts:
                self.steps += 1
                if self.steps > MAX_STEPS:
                    raise TooLong()
                if isinstance(s, Object):
                    self.seen.add("object")
                    self.line(f"O{s.id}")
                    alive.append(s)
                    continue
                self.stmt(s, frame, depth, env)
        except Transfer as t:
            if alive:
                self.leaving(t, "object")
            self.destroy(alive)
            raise
        self.destroy(alive)

    def destroy(self, alive):
        for o in reversed(alive):
            self.line(f"D{o.id}")

    def leaving(self, t, what):
        """A transfer leaves a live object or a running catch clause."""
        structured = isinstance(t, LongJump) or isinstance(t, Unwind) and not t.record.cxx
        if structured and not self.p.async_:
            raise Undefined(f"a structured exception or long jump leaves a C++ {what} under /EHs")
        if isinstance(t, LongJump):
            self.seen.add("longjmp-destroys")
        elif structured:
            self.seen.add("structured-destroys")

    def stmt(self, s, frame, depth, env):
        if isinstance(s, Event):
            self.line(f"E{s.id}")
        elif isinstance(s, Try):
            self.seen.update(s.tags)
            (self.try_except if s.kind == "except" else self.try_finally)(s, frame, depth, env)
        elif isinstance(s, Loop):
            self.seen.add("loop")
            for i in range(s.count):
                self.indexes[(frame, s.id)] = i
                try:
                    self.stmts(s.body, frame, depth, env)
                except JumpTo as j:
                    if j.target != s.id:
                        raise
                    if j.kind == "break":
                        break
        elif isinstance(s, When):
            if self.indexes[(frame, s.loop)] == s.value:
                self.stmts(s.body, frame, depth, env)
        elif isinstance(s, Switch):
            self.seen.add("switch")
            try:
                self.stmts(s.cases[s.value], frame, depth, env)
            except JumpTo as j:
                if j.target != s.id:
                    raise
        elif isinstance(s, Labeled):
            try:
                self.stmts(s.body, frame, depth, env)
            except JumpTo as j:
                if j.target != s.id:
                    raise
        elif isinstance(s, Jump):
            if s.guarded and self.abnormal[-1]:
                return
            self.seen.update(s.tags)
            if s.kind == "return":
                raise ReturnFrom()
            raise JumpTo(s.kind, s.target)
        elif isinstance(s, Raise):
            self.raise_(s)
        elif isinstance(s, Fault):
            self.seen.add("fault")
            self.dispatch(Record(ACCESS_VIOLATION, 0, [0, 0]))
            raise ModelError("a fault continued")
        elif isinstance(s, Call):
            if depth < MAX_DEPTH:
                self.seen.update(s.tags)
                self.call(s.callee, depth + 1, env)
        elif isinstance(s, SetJmp):
            self.seen.add("setjmp")
            token = object()
            try:
                self.stmts(s.body, frame, depth, token)
            except LongJump as lj:
                if lj.env is not token:
                    raise
                self.line(f"J{s.id}")
                self.stmts(s.after, frame, depth, env)
        elif isinstance(s, Throw):
            self.seen.update(s.tags)
            if any(self.abnormal):
                raise Undefined("a throw out of a termination handler run by an unwind")
            self.line(f"N{s.id}")
            self.dispatch(Record(CXX_CODE, EXCEPTION_NONCONTINUABLE, [], thrown=s))
            raise ModelError("a C++ exception continued")
        elif isinstance(s, Rethrow):
            self.seen.add("rethrow")
            self.line(f"R{s.id}")
            if not self.caught:
                # a reduction can take a rethrow out of its catch clause
                raise ModelError("a rethrow with no exception being handled")
            record = self.caught[-1]
            if not record.cxx:
                raise ModelError("a structured exception rethrown")
            self.dispatch(record)
            raise ModelError("a C++ exception continued")
        elif isinstance(s, TryCatch):
            self.seen.update(s.tags)
            self.try_catch(s, frame, depth, env)
        elif isinstance(s, LongJmp):
            if env is not None:
                self.seen.update(s.tags)
                raise LongJump(env)
        else:
            raise TypeError(s)

    def guarded(self, s, frame, depth, env, leave=False):
        """Runs the body of s as a guarded block: the Unwind that targets
        the block (its handler is to run), else None.  With `leave`, a
        __leave of the block ends it."""
        block = Block(s, frame)
        level = len(self.blocks)
        self.blocks.append(block)
        try:
            self.stmts(s.body, frame, depth, env)
        except Unwind as u:
            if u.target is not block:
                raise
            return u
        except JumpTo as j:
            if not (leave and j.kind == "leave" and j.target == s.id):
                raise
        finally:
            del self.blocks[level:]
        return None

    def try_except(self, s, frame, depth, env):
        u = self.guarded(s, frame, depth, env, leave=True)
        if u is None:
            return
        if u.record.cxx:
            self.seen.add("except-takes-throw")
            if u.record.holders == 0 and not u.record.destroyed:
                self.destroy_thrown(u.record)
        self.line(f"H{s.id} {u.record.code:08X}" if s.handler_code else f"H{s.id}")
        self.handlers += 1
        try:
            self.stmts(s.handler, frame, depth, env)
        finally:
            self.handlers -= 1

    def try_catch(self, s, frame, depth, env):
        u = self.guarded(s, frame, depth, env)
        if u is None:
            return
        record = u.record
        cls, handler = s.clauses[u.clause]
        # a catch-all has no name for the object: its line has no id
        self.line(f"C{s.id} {record.thrown.id}" if cls != "..." else f"C{s.id}")
        if record.cxx:
            record.holders += 1
        else:
            self.seen.add("catch-all-takes-structured")
        self.caught.append(record)
        try:
            self.stmts(handler, frame, depth, env)
        except Transfer as t:
            self.caught.pop()
            self.leaving(t, "catch clause")
            own = isinstance(t, Unwind) and t.record is record
            if record.cxx:
                record.holders -= 1
                # a rethrow caught again lives on in the next clause
                if record.holders == 0 and not (own and isinstance(t.target.node, TryCatch)
                                                or own and t.target.node is WRAPPER):
                    self.destroy_thrown(record)
            raise
        self.caught.pop()
        if record.cxx:
            record.holders -= 1
            if record.holders == 0:
                self.destroy_thrown(record)

    def try_finally(self, s, frame, depth, env):
        level = len(self.blocks)
        self.blocks.append(Block(s, frame))
        try:
            self.stmts(s.body, frame, depth, env)
        except JumpTo as j:
            del self.blocks[level:]
            if j.kind == "leave" and j.target == s.id:
                self.termination(s, frame, depth, env, 0)
                return
            self.seen.add("jump-through-finally")
            j.passed += 1
            if j.passed == 2:
                self.seen.add("jump-through-two-finallys")
            self.termination(s, frame, depth, env, 1)
            raise
        except Transfer as t:
            del self.blocks[level:]
            if isinstance(t, Unwind):
                self.seen.add("finally-in-unwind")
            self.termination(s, frame, depth, env, 1, t)
            raise
        del self.blocks[level:]
        self.termination(s, frame, depth, env, 0)

    def termination(self, s, frame, depth, env, abnormal, cause=None):
        self.line(f"T{s.id} {abnormal}")
        self.abnormal.append(abnormal)
        try:
            self.stmts(s.handler, frame, depth, env)
        except Transfer:
            if isinstance(cause, Unwind) and cause.record.cxx:
                # the C++ exception would be abandoned half unwound
                raise Undefined("a termination handler run by a C++ exception's unwind left by a transfer")
            raise
        finally:
            self.abnormal.pop()


def predict(program):
    """The program's output lines, exit status and the constructs it ran."""
    return Model(program).run()
