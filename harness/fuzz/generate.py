"""From a seed, one random program (program.py's tree).

Every jump leaves to a target that encloses it in the same function, every
loop and recursion is bounded, and a jump out of a __finally is made only
when the handler runs for a normal exit (a jump out of a termination
handler during an unwind has no defined meaning), so every program ends and
its outcome is defined."""
from .program import (ACCESS_VIOLATION, CLASSES, CONTINUABLE, CXX_CODE, EXCEPTION_NONCONTINUABLE, NONCONTINUABLE,
                     OTHER, Call, Event, Fault, Filter, Jump, Labeled, LongJmp, Loop, Object, Program, Raise, Rethrow,
                     SetJmp, Switch, Throw, Try, TryCatch, When, call_before_try, code_after_try_catch,
                     setjmp_with_finally, shape_tags, size)
from .rng import Rng

MAX_NEST = 4
assert ACCESS_VIOLATION in OTHER


class Target:
    def __init__(self, id, kind, fin, exc):
        self.id, self.kind, self.fin, self.exc = id, kind, fin, exc


class Ctx:
    """Where the statement being generated stands."""

    def __init__(self, fn):
        self.fn = fn
        self.loops = []        # Targets of enclosing loops, innermost last
        self.breaks = []       # loops and switches
        self.labels = []
        self.tries = []        # enclosing __try bodies (for __leave)
        self.fin = 0           # __finally blocks around
        self.exc = 0           # __except blocks around
        self.fin_top = False   # directly in a __finally (no __try between)
        self.in_setjmp = False
        self.nest = 0
        self.cxx = False       # in a function of C++ objects and try statements
        self.catch = None      # the class of the innermost catch clause around ("..." for a catch-all)

    def child(self, **changes):
        c = Ctx(self.fn)
        c.__dict__.update(self.__dict__)
        for k in ("loops", "breaks", "labels", "tries"):
            setattr(c, k, list(getattr(self, k)))
        c.nest = self.nest + 1
        c.__dict__.update(changes)
        return c

    def target(self, id, kind):
        return Target(id, kind, self.fin, self.exc)


class Generator:
    def __init__(self, seed, functions=None, language="c"):
        self.rng = Rng(seed)
        self.seed = seed
        self.next_id = 1
        self.filters = {}
        self.nfuncs = functions or 1 + self.rng.below(4)
        self.budget = 0
        self.language = language
        self.async_ = False
        if language == "c++":
            # C programs draw nothing here, so a seed's C program stays the same
            self.async_ = self.rng.chance(40)
            # mostly alternating, so that guarded blocks call C++ frames and back
            self.nfuncs = max(2, self.nfuncs)
            first = 0 if self.rng.chance(70) else 1
            self.kinds = [("seh", "cxx")[(first + i) % 2] if self.rng.chance(80) else self.rng.pick(["seh", "cxx"])
                          for i in range(self.nfuncs)]
        else:
            self.kinds = ["seh"] * self.nfuncs

    def id(self):
        self.next_id += 1
        return self.next_id - 1

    def program(self):
        funcs = []
        for fn in range(self.nfuncs):
            self.budget = 8 + self.rng.below(22)
            ctx = Ctx(fn)
            ctx.cxx = self.kinds[fn] == "cxx"
            funcs.append(self.block(ctx, 3 + self.rng.below(4)))
        return Program(self.seed, funcs, self.filters, self.language, self.kinds, self.async_)

    def block(self, ctx, n):
        out = []
        for i in range(n):
            if self.budget <= 0:
                break
            self.budget -= 1
            # a jump ends its list: what followed it could never run
            out.append(self.statement(ctx, last=(i == n - 1)))
        return out

    def inner(self, ctx):
        return 1 + self.rng.below(3)

    def statement(self, ctx, last):
        if ctx.cxx:
            return self.cxx_statement(ctx, last)
        r = self.rng
        deep = ctx.nest >= MAX_NEST
        top = ctx.nest == 0
        # a raise outside every guarded block of the function mostly ends the
        # program: keep the top level for guarded blocks and loops
        choices = [(6 if top else 18, "event"), (1 if top else 8, "raise"), (1 if top else 3, "fault")]
        if not deep:
            choices += [(30 if top else 13, "except"), (20 if top else 12, "finally"), (4, "switch"),
                        (4, "label"), (4, "setjmp")]
            if len(ctx.loops) < 2:
                choices.append((6, "loop"))
            if ctx.loops:
                choices.append((16, "when"))
        if last and self.jumps(ctx):
            choices.append((40, "jump"))
        # in C++ programs the calls are what bring throws to the guarded blocks
        choices += [(6 if self.language == "c" else 16, "call"), (12 if ctx.in_setjmp else 2, "longjmp")]
        kind = r.weighted(choices)
        return getattr(self, "make_" + kind)(ctx)

    def cxx_statement(self, ctx, last):
        """A statement of a C++ function: objects, try/catch, throws, and
        the calls, raises and faults that structured exceptions come from
        (a fault always in a called function: the C++ build of some
        platforms has no -fasync-exceptions, which a fault written in a
        C++ frame would need)."""
        r = self.rng
        deep = ctx.nest >= MAX_NEST
        choices = [(10, "event"), (12, "object"), (10, "throw"), (3, "raise"), (2, "fault"), (8, "call")]
        if not deep:
            choices += [(22 if ctx.nest == 0 else 12, "trycatch")]
            if len(ctx.loops) < 2:
                choices.append((4, "loop"))
            if ctx.loops:
                choices.append((8, "when"))
        # a rethrow needs a C++ object: a typed clause's, or a catch-all's
        # when it takes only C++ exceptions (the synchronous model)
        if ctx.catch is not None and (ctx.catch != "..." or not self.async_):
            choices.append((30, "rethrow"))
        if last and self.jumps(ctx):
            choices.append((20, "jump"))
        return getattr(self, "make_" + r.weighted(choices))(ctx)

    def make_object(self, ctx):
        return Object(self.id())

    def make_throw(self, ctx):
        return Throw(self.id(), self.rng.pick(CLASSES))

    def make_rethrow(self, ctx):
        return Rethrow(self.id())

    def make_trycatch(self, ctx):
        id = self.id()
        body = self.block(ctx.child(), self.inner(ctx))
        r = self.rng
        names = list(CLASSES) if r.chance(50) else list(reversed(CLASSES))
        clauses = []
        for cls in names[:1 + r.below(2)] + (["..."] if r.chance(40) else []):
            clauses.append((cls, self.block(ctx.child(catch=cls), r.below(3))))
        return TryCatch(id, body, clauses)

    def make_event(self, ctx):
        return Event(self.id())

    def make_raise(self, ctx):
        return self.raise_()

    def raise_(self):
        r = self.rng
        code = r.weighted([(6, "cont"), (2, "noncont"), (3, "other")])
        params = [1 + r.below(999) for _ in range(r.weighted([(5, 0), (2, 1), (2, 2), (1, 3)]))]
        if code == "cont":
            return Raise(r.pick(CONTINUABLE), 0, params)
        if code == "noncont":
            return Raise(NONCONTINUABLE, EXCEPTION_NONCONTINUABLE, params)
        return Raise(r.pick(OTHER), 0, params)

    def make_fault(self, ctx):
        return Fault()

    def make_call(self, ctx):
        callee = ctx.fn + self.rng.below(self.nfuncs - ctx.fn)
        if callee == ctx.fn and not self.rng.chance(40):
            callee = min(ctx.fn + 1, self.nfuncs - 1)
        if callee == ctx.fn and ctx.fn + 1 < self.nfuncs:
            callee = ctx.fn + 1 if self.rng.chance(50) else ctx.fn
        if callee == ctx.fn and self.nfuncs == 1 and not self.rng.chance(50):
            return Event(self.id())
        return Call(callee, callee == ctx.fn)

    def make_longjmp(self, ctx):
        return LongJmp(ctx.fin > 0)

    def guarded_body(self, ctx, id):
        """The body of guarded statement `id`, with the statement as a
        target of the jumps inside."""
        body_ctx = ctx.child(fin_top=False)
        body_ctx.tries.append(ctx.target(id, "try"))
        return self.block(body_ctx, self.inner(ctx))

    def make_except(self, ctx):
        id = self.id()
        body = self.guarded_body(ctx, id)
        handler = self.block(ctx.child(exc=ctx.exc + 1, fin_top=False), self.rng.below(3))
        self.filters[id] = self.filter(id)
        return Try(id, "except", body, handler, filter=id, handler_code=self.rng.chance(50))

    def filter(self, id):
        r = self.rng
        shape = r.weighted([(5, "constant"), (4, "code"), (3, "count"), (3, "count-code")])
        if shape == "constant":
            rules, default = [], r.weighted([(3, 1), (1, 0)])
        elif shape == "code":
            # a filter that continues a noncontinuable exception is the only
            # way to see 0xC0000025: weighted so that random cases meet one
            code = r.pick(CONTINUABLE + CONTINUABLE + (NONCONTINUABLE,) * 3 + OTHER)
            verdict = r.pick([1, 0, -1, -1] if code in CONTINUABLE else [1, -1, -1, -1] if code == NONCONTINUABLE
                             else [1, 0])
            rules, default = [(code, None, verdict)], r.pick([1, 0])
        elif shape == "count":
            rules, default = [(None, 1 + r.below(2), r.pick([0, 1]))], r.pick([0, 1])
        else:
            rules, default = [(r.pick(CONTINUABLE), 1 + r.below(3), -1)], r.pick([0, 1])
        raise_ = self.raise_() if r.chance(15) else None
        return Filter(id, rules, default, raise_)

    def make_finally(self, ctx):
        id = self.id()
        body = self.guarded_body(ctx, id)
        handler = self.block(ctx.child(fin=ctx.fin + 1, fin_top=True), self.rng.below(3))
        return Try(id, "finally", body, handler)

    def make_loop(self, ctx):
        id = self.id()
        c = ctx.child()
        t = ctx.target(id, "loop")
        t.count = 1 + self.rng.below(3)
        c.loops.append(t)
        c.breaks.append(t)
        return Loop(id, t.count, self.block(c, self.inner(ctx)))

    def make_when(self, ctx):
        loop = self.rng.pick(ctx.loops)
        # a jump is what a condition mostly guards
        body = [self.make_jump(ctx)] if self.jumps(ctx) and self.rng.chance(60) else \
            self.block(ctx.child(), self.inner(ctx))
        return When(loop.id, self.rng.below(loop.count), body)

    def make_switch(self, ctx):
        id = self.id()
        c = ctx.child()
        c.breaks.append(ctx.target(id, "switch"))
        cases = [self.block(c, self.inner(ctx)) for _ in range(2 + self.rng.below(2))]
        return Switch(id, self.rng.below(len(cases)), cases)

    def make_label(self, ctx):
        id = self.id()
        c = ctx.child()
        c.labels.append(ctx.target(id, "label"))
        return Labeled(id, self.block(c, self.inner(ctx)))

    def make_setjmp(self, ctx):
        id = self.id()
        return SetJmp(id, self.block(ctx.child(in_setjmp=True), self.inner(ctx)),
                      self.block(ctx.child(), self.rng.below(2)))

    def reachable(self, ctx, t):
        """How a jump from here may reach target t: None (it may not),
        'plain' or 'guarded' (only when the __finally it leaves runs for a
        normal exit)."""
        if t.fin == ctx.fin:
            return "plain"
        if ctx.fin_top and t.fin == ctx.fin - 1:
            return "guarded"
        return None

    def jumps(self, ctx):
        found = []
        fn_target = Target(0, "return", 0, 0)
        if ctx.breaks:
            found.append(("break", ctx.breaks[-1]))
        if ctx.loops:
            found.append(("continue", ctx.loops[-1]))
        for t in ctx.labels:
            found.append(("goto", t))
        found.append(("return", fn_target))
        if ctx.tries:
            found.append(("leave", ctx.tries[-1]))
        return [(k, t, how) for k, t in found for how in [self.reachable(ctx, t)] if how]

    def make_jump(self, ctx):
        kind, t, how = self.rng.pick(self.jumps(ctx))
        return Jump(kind, t.id, guarded=(how == "guarded"), out_of_except=t.exc < ctx.exc)


def switch_off(program, off):
    """Removes the constructs in `off`: the statements that are one (with
    what they hold), GetExceptionCode() in __except blocks, raises in
    filters and the verdict EXCEPTION_CONTINUE_EXECUTION."""
    def prune(stmts, around):
        stmts[:] = [s for k, s in enumerate(stmts) if not off.intersection(s.tags)
                    and not off.intersection(shape_tags(s, around, stmts[k - 1] if k else None))]
        if "code-after-try-catch" in off:
            stmts[:] = [s for k, s in enumerate(stmts) if not code_after_try_catch(stmts, k, around)]
        # a call dropped from before a guarded block can bring the one before it there
        while "call-before-try" in off and any(call_before_try(stmts, n) for n in range(len(stmts))):
            stmts[:] = [s for n, s in enumerate(stmts) if not call_before_try(stmts, n)]
        for s in stmts:
            if isinstance(s, Try) and "handler-code" in off:
                s.handler_code = False
                s.tags = tuple(t for t in s.tags if t != "handler-code")
            for i, b in enumerate(s.blocks()):
                prune(b, around + [(s, i)])
    before = None
    while before != size(program):
        # a statement removed inside a block can bring a shape about in the
        # list around it (a block's last call next to a guarded block)
        before = size(program)
        for body in program.functions:
            prune(body, [])
            if "setjmp-with-finally" in off and setjmp_with_finally(body):
                drop_setjmps(body)
    for f in program.filters.values():
        if "raise-in-filter" in off:
            f.raise_ = None
        if f.raise_ is not None and off.intersection(f.raise_.tags):
            f.raise_ = None
        if "filter-continue-execution" in off:
            f.rules = [(c, n, v) for c, n, v in f.rules if v != -1]
    return program


def drop_setjmps(stmts):
    """Removes every setjmp statement, with what it holds."""
    stmts[:] = [s for s in stmts if not isinstance(s, SetJmp)]
    for s in stmts:
        for b in s.blocks():
            drop_setjmps(b)


LANGUAGES = ("c", "c++", "both")


def language_of(seed, language):
    """The language of a seed's program: with "both", one program in three
    is C++, chosen from the seed alone."""
    if language != "both":
        return language
    return "c++" if Rng(seed ^ 0x5EEDC0DE).below(3) == 0 else "c"


def generate(seed, off=frozenset(), language="c"):
    """The program of a seed, without the constructs in `off`.  A program
    that would run too long, or (C++) whose outcome the build model leaves
    undefined, is drawn again from a seed derived from it."""
    from .model import TooLong, Undefined, predict
    language = language_of(seed, language)
    if "cxx" in off:
        language = "c"
    for attempt in range(8 if language == "c" else 16):
        g = Generator(seed + (attempt << 40), language=language)
        if "cxx-async" in off:
            g.async_ = False
        program = switch_off(g.program(), set(off))
        program.seed = seed
        try:
            predict(program)
            return program
        except (TooLong, Undefined):
            continue
    return program

