"""Where the suite's folders are; every module asks here."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
PLATFORMS = os.path.join(ROOT, "platforms")
EXPECTED_FAILURES = os.path.join(ROOT, "expected-failures")
