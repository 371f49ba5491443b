"""A run's verdict, as reports, results files and exit statuses use it.

A verdict is a str, so results compare and serialise as their names; it
knows whether it counts as a failure of the run.
"""
import enum


class Verdict(str, enum.Enum):
    PASS = "PASS"      # behaved as documented
    FAIL = "FAIL"      # did not, and is not listed as a known failure
    XFAIL = "XFAIL"    # did not, and is listed as a known failure of the platform
    XPASS = "XPASS"    # listed as a known failure, yet behaved

    def __str__(self):
        return self.value

    @property
    def is_failure(self):
        """What makes a run fail: an unexpected result either way."""
        return self in (Verdict.FAIL, Verdict.XPASS)


def judge_known(passed, reason, known):
    """Verdict and reason for a result, given why it is known to fail here
    (empty when it is not)."""
    if not known:
        return (Verdict.PASS if passed else Verdict.FAIL), reason
    if passed:
        return Verdict.XPASS, f"passed, but listed as failing here: {known}"
    return Verdict.XFAIL, f"{reason} [expected: {known}]"
