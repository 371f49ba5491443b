"""A run's verdict, as reports, results files and exit statuses use it.

A verdict is a str, so results compare and serialise as their names; it
knows whether it counts as a failure of the run.
"""
import enum


class Verdict(str, enum.Enum):
    PASS = "PASS"            # behaved as documented
    FAIL = "FAIL"            # did not, and is not listed as a known failure (or fails differently)
    TIMEOUT = "TIMEOUT"      # still running after the timeout, and not listed
    XFAIL = "XFAIL"          # failed as listed among the platform's known failures
    XPASS = "XPASS"          # listed as a known failure, yet behaved
    FLAKY = "FLAKY"          # an unexpected result at first that was as expected on a retry
    UNRESOLVED = "UNRESOLVED"  # the runner itself failed (no copy, no connection): no verdict on the program

    def __str__(self):
        return self.value

    @property
    def is_failure(self):
        """What makes a run fail: an unexpected result either way."""
        return self in (Verdict.FAIL, Verdict.TIMEOUT, Verdict.XPASS)

    @property
    def counts_as_passed(self):
        """What the closing line counts as passed: a pass, also one that
        needed a retry."""
        return self in (Verdict.PASS, Verdict.FLAKY)


def judge_known(passed, reason, entry, timed_out=False):
    """Verdict and reason for a result, given the platform's entry for it
    (None when it is not listed as failing there)."""
    if entry is None:
        if passed:
            return Verdict.PASS, reason
        return (Verdict.TIMEOUT if timed_out else Verdict.FAIL), reason
    if passed:
        if entry.flaky:
            return Verdict.PASS, ""
        return Verdict.XPASS, f"passed, but listed as failing here: {entry.reason}"
    if not entry.matches(reason):
        return Verdict.FAIL, f"fails differently than listed: {reason} [listed: {entry.match}]"
    return Verdict.XFAIL, f"{reason} [expected: {entry.reason}]"
