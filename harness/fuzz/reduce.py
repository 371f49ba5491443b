"""Cuts a program down while it still differs: deletes one statement at a
time (a whole subtree: every jump lies inside its target, so what is left is
a valid program), puts one block of a compound statement in its place when
the program stays valid, stops __except blocks reading the exception code
and drops raises from filters, until no single change keeps the difference."""
from .program import Jump, Loop, Rethrow, Switch, Try, TryCatch, When, walk


def places(program):
    """(list, index) of every statement, outermost first."""
    out = []
    for body in program.functions:
        for i in range(len(body)):
            out.append((body, i))
        for s in walk(body):
            for b in s.blocks():
                for i in range(len(b)):
                    out.append((b, i))
    return out


def valid(program):
    """Whether every jump still has its target around it (the innermost of
    its kind), crosses no __finally it may not, and every loop condition
    still has its loop."""
    def ok_jump(s, around):
        kinds = {"break": (Loop, Switch), "continue": (Loop,), "leave": (Try,)}
        crossed = 0
        top = True                    # no __try between the jump and the nearest __finally
        for n, i in reversed(around):
            if s.kind == "goto" or s.kind == "return":
                hit = s.kind == "goto" and getattr(n, "id", None) == s.target
            else:
                wanted = kinds[s.kind]
                if isinstance(n, wanted) and not (isinstance(n, Try) and i != 0):
                    if n.id != s.target:
                        return False  # a nearer loop, switch or __try would take it
                    hit = True
                else:
                    hit = False
            if hit:
                break
            if isinstance(n, Try):
                if n.kind == "finally" and i == 1:
                    if crossed or not top:
                        return False
                    crossed += 1
                top = False
        else:
            if s.kind != "return":
                return False
        return crossed == (1 if s.guarded else 0) and (not s.guarded or _guard_ok(around))

    def visit(stmts, around):
        for s in stmts:
            if isinstance(s, Jump) and not ok_jump(s, around):
                return False
            if isinstance(s, When) and not any(isinstance(n, Loop) and n.id == s.loop for n, _ in around):
                return False
            if isinstance(s, Rethrow) and not any(isinstance(n, TryCatch) and i > 0 for n, i in around):
                return False              # out of its catch clause
            for i, b in enumerate(s.blocks()):
                if not visit(b, around + [(s, i)]):
                    return False
        return True
    return all(visit(body, []) for body in program.functions)


def _guard_ok(around):
    """A guarded jump reads AbnormalTermination(): it must stand in a
    __finally with no __try between."""
    for n, i in reversed(around):
        if isinstance(n, Try):
            return n.kind == "finally" and i == 1
    return False


def reduce(program, still_differs, max_tries=300):
    """The smallest program found; still_differs(program) -> bool is
    tried at most max_tries times."""
    tries = 0
    changed = True
    while changed and tries < max_tries:
        changed = False
        k = 0
        while tries < max_tries:
            spots = places(program)
            if k >= len(spots):
                break
            lst, i = spots[k]
            s = lst.pop(i)
            tries += 1
            if still_differs(program):
                changed = True
                continue
            lst.insert(i, s)
            # or one of its blocks in its place
            kept = False
            for b in s.blocks():
                lst[i:i + 1] = list(b)
                if valid(program) and tries < max_tries:
                    tries += 1
                    if still_differs(program):
                        kept = changed = True
                        break
                lst[i:i + len(b)] = [s]
            if not kept:
                k += 1
        for s in [s for body in program.functions for s in walk(body)]:
            if isinstance(s, Try) and s.handler_code and tries < max_tries:
                s.handler_code = False
                tries += 1
                if still_differs(program):
                    s.tags = tuple(t for t in s.tags if t != "handler-code")
                    changed = True
                else:
                    s.handler_code = True
        for f in program.filters.values():
            if f.raise_ is not None and tries < max_tries:
                r, f.raise_ = f.raise_, None
                tries += 1
                if still_differs(program):
                    changed = True
                else:
                    f.raise_ = r
    return program
