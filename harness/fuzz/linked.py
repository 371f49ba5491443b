"""Cases built once for every variant run-time that leaves the programs'
own code alone: a source's object, compiled once with the platform's own
template, is linked against each variant's run-time.  The same batches go
against every variant, so the compile (most of a batch's cost) is paid once.
"""
import copy
import hashlib
import os
import shutil
import tempfile
import threading

import process
from .targets import PlatformTarget


class Objects:
    """The objects of the sources seen so far, by the source's text; None
    for a source that did not compile (its variant builds it whole, and fails
    the way it would have)."""

    def __init__(self, platform, session):
        self.dir = tempfile.mkdtemp(prefix="zeb-objects-")
        base = copy.copy(platform)
        base.build_dir = self.dir      # its lowered copies go here, not to the platform's folder
        self.target = PlatformTarget(base, session)
        self.lock = threading.Lock()
        self.building = {}             # text's digest -> the lock of its one compile
        self.built = {}

    def of(self, source, kind):
        with open(source, "rb") as f:
            key = hashlib.sha256(repr(kind).encode() + f.read()).hexdigest()
        with self.lock:
            lock = self.building.setdefault(key, threading.Lock())
        with lock:
            if key not in self.built:
                self.built[key] = self._compile(source, key, kind)
            return self.built[key]

    def _compile(self, source, key, kind):
        t = self.target
        own = os.path.join(self.dir, key + os.path.splitext(source)[1])
        obj = os.path.join(self.dir, key + ".o")
        shutil.copyfile(source, own)
        cmd = t.build_command(own, obj, kind, extra="-c")
        try:
            r = process.run(cmd, t.build_timeout, env=t.env, cwd=self.dir)
        except OSError:
            return None
        return obj if r.status == 0 and not r.timed_out and os.path.exists(obj) else None

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Linked(PlatformTarget):
    """A variant's platform as a target whose programs are linked from
    shared objects."""

    def __init__(self, platform, session, objects):
        super().__init__(platform, session)
        self.objects = objects

    def build(self, source, program, kind=("c", False)):
        obj = self.objects.of(source, kind)
        return super().build(source if obj is None else obj, program, kind)
