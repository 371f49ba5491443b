"""Which documented rule a difference breaks, in words, from the first line
where the platform and the model part.  Each event line's first letter says
what printed it (cprint.py): E a plain statement, F a filter, H an __except
block, T a __finally, J a long jump's landing, M main's handler, X the end."""
import re

WHAT = {"E": "a statement", "F": "a filter", "H": "an __except block", "T": "a __finally block",
        "J": "the landing of a long jump", "M": "main's handler (an exception no block took)",
        "X": "the end of the case"}

ORDER = ("Filters are called innermost first over the guarded blocks still active, all of them before any "
         "termination handler runs (the search comes before the unwind); then termination handlers run "
         "innermost first, then the __except block that took the exception.")


def parse(line):
    """(letter, id, rest) of an event line."""
    m = re.match(r"^([A-Z])(\d*)(?: (.*))?$", line or "")
    return (m.group(1), m.group(2), m.group(3) or "") if m else ("", "", line or "")


def rule(kind, got, want):
    """The rule in words for a difference of this kind whose first differing
    lines are got and want (None when one side has no more lines)."""
    if kind == "build":
        return "The compiler must accept the program: it is valid in the dialect (every jump leaves to a target around it)."
    if kind == "hang":
        return "Every case ends: loops and recursion are bounded and no exception is continued for ever."
    if kind == "status":
        return "A case's status is the checksum of its lines; the lines agreed, so the status was corrupted."
    if kind == "batch":
        return "Cases are independent: a case's outcome must not depend on the cases run before it in the process."
    g, w = parse(got), parse(want)
    if got is None or want is None:
        missing = want if got is None else got
        letter = parse(missing)[0]
        side = "ended before" if got is None else "went on after"
        prefix = f"The program {side} {WHAT.get(letter, 'the line')} the model expects"
        if kind == "crash":
            return prefix + ": it was killed. A structured exception, fault or long jump must be delivered, " \
                            "never end the process."
        return prefix + ". " + ORDER
    if g[0] == w[0] and g[1] == w[1]:
        if g[0] == "T":
            return ("AbnormalTermination() is false in a __finally entered by falling out of its guarded block "
                    "or by a __leave of that block, and true for every other exit: an exception's unwind, a "
                    "long jump, a break, continue, goto or return.")
        if g[0] == "F":
            return ("A filter sees the exception as raised: its code, its flags (EXCEPTION_NONCONTINUABLE as "
                    "given; EXCEPTION_NESTED_CALL set only for an exception raised inside a filter, up to the "
                    "frame whose filter raised it), its parameters.")
        if g[0] in "HM":
            return "GetExceptionCode() in an __except block is the code of the exception that block took."
    if g[0] == "T" and w[0] == "F" or g[0] == "F" and w[0] == "T":
        return ORDER
    if w[0] == "T" or g[0] == "T":
        return ("A __finally runs exactly once on every exit from its guarded block, normal or abnormal, "
                "innermost first.")
    if w[0] == "J" or g[0] == "J":
        return "A long jump runs the termination handlers it leaves, innermost first, and lands at its setjmp."
    if w[0] == "H" or g[0] == "H":
        return ("The first filter that answers EXCEPTION_EXECUTE_HANDLER takes the exception: its __except "
                "block runs after the unwind; EXCEPTION_CONTINUE_EXECUTION returns to the raise.")
    return ORDER
