"""Cuts a program down while it still differs: deletes one statement at a
time (a whole subtree: every jump lies inside its target, so what is left is
always a valid program), stops __except blocks reading the exception code
and drops raises from filters, until no single change keeps the difference."""
from program import Try, walk


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
            else:
                lst.insert(i, s)
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
