"""A platform as a file: how to build one program and how to run it.

A platform is a TOML file of command templates and settings (README, "Your
own platform").  Everything a user can get wrong in one is reported with the
file, the key and the line before anything is built.
"""
import difflib
import os
import re
import shlex
import shutil
import tomllib

import cmake_builds
from xfail import XfailError, parse_xfail

ARCHES = ("arm32", "arm64")
# {name} is a placeholder; ${name} is left to the shell.
PLACEHOLDER = re.compile(r"(?<!\$)\{([A-Za-z_][A-Za-z0-9_]*)\}")
# Known as soon as the file is read.
FIXED = ("dir", "root", "build")
# {runtime} and {lower}: the layer's run-time and lowering tool, of the
# layer build that the file's `layer` key names.
LAYER_PLACEHOLDERS = ("runtime", "lower")
BUILD_PLACEHOLDERS = ("source", "program", "name", "arch", "options") + LAYER_PLACEHOLDERS + FIXED
# {shard}: the number (from 1) of the shard being run, empty for a whole
# run, so that each shard can have a device or emulator of its own.
PLACEHOLDERS = {
    "c": BUILD_PLACEHOLDERS,
    "cxx": BUILD_PLACEHOLDERS,
    "run": ("program", "args", "name", "arch", "shard") + FIXED,
    "setup": FIXED,
    "start": ("shard",) + FIXED,
    "stop": ("shard",) + FIXED,
    "env": ("shard",) + FIXED,
    "versions": FIXED,
}
TEMPLATES = ("c", "cxx", "run", "setup", "start", "stop")
REQUIRED = ("c", "cxx", "run")
TOP_KEYS = {
    "name": str, "description": str, "c": str, "cxx": str, "run": str, "setup": str, "start": str, "stop": str,
    "expected_failures": str, "text_mode": bool, "timeout": (int, float), "build_timeout": (int, float),
    "suffix": str, "env": dict, "packages": list, "arch": dict, "layer": str, "versions": list,
    "infra_status": int, "extends": str, "deliverables": list,
}
ARCH_KEYS = {"c": str, "cxx": str, "run": str, "env": dict, "layer": str}
TYPE_NAMES = {str: "a string", bool: "true or false", dict: "a table", list: "a list of strings",
              (int, float): "a number of seconds", int: "a whole number"}
# Words that the shell runs itself, so there is no file to look for.
SHELL_WORDS = {"cd", "exec", "test", "[", ".", "set", "export", "true", "false", ":", "if", "for", "while",
               "case", "{", "(", "!", "eval", "command", "ulimit", "umask", "trap", "wait", "echo", "printf"}
# A command with any of these needs the shell; otherwise it is run directly,
# so that a program killed by a signal is reported as such.
SHELL_SYNTAX = set("|&;<>()$`*?~\n") | {"[", "]"}
NAME = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._-]*$")
PACKAGE = re.compile(r"^[a-z0-9][a-z0-9+.-]+(:[a-z0-9-]+)?$")


class PlatformError(Exception):
    """A platform file that cannot be used; the message says where and why."""


class Platform:
    def __init__(self, path, data, text, root):
        self.path = path
        self.source_path = os.path.abspath(path)
        self.dir = os.path.dirname(os.path.abspath(path))
        self.root = root
        self.text = text
        self.name = data["name"]
        self.description = data.get("description", "")
        self.build_dir = os.path.join(root, "build", self.name)
        self.timeout = float(data.get("timeout", 10))
        self.build_timeout = float(data.get("build_timeout", 600))
        self.text_mode = data.get("text_mode", False)
        self.suffix = data.get("suffix", "")
        self.packages = list(data.get("packages", []))
        self.expected_failures_path = None
        self.known = {}
        # A variant run-time in place of the layer's (zeb sensitivity).
        self.variant = None
        # Program name -> its object, built once for every variant run-time
        # that leaves the program's own code alone: linked, not built again.
        self.objects = {}
        # The shard being run (its number from 1), or "" for a whole run.
        self.shard = ""
        # The exit status with which the run command says that it could not
        # run the program at all (no copy, no connection).
        self.infra_status = data.get("infra_status")
        # Commands whose first line of output is a tool's version.
        self.versions = list(data.get("versions", []))
        # The architectures whose deliverables the platform builds; the
        # suite's programs of any other are not its business.
        self.deliverables = tuple(data.get("deliverables", ARCHES))
        # Where each key came from when the file extends another: key path
        # -> (file as shown, its text), so that messages name the file
        # that wrote it.
        self.origins = {}
        self._data = data

    # The file's own values, per architecture where it gives one.
    def template(self, key, arch=None):
        table = self._data.get("arch", {}).get(arch, {}) if arch else {}
        return table.get(key, self._data.get(key))

    def layer_build(self, arch=None):
        """The layer's CMake build (host, arm32, arm64) whose run-time the
        commands for ARCH link; None when they use none."""
        return self.template("layer", arch)

    def layer_builds(self):
        """Every layer build the file names, for any architecture."""
        return sorted({b for b in [self.layer_build()] + [self.layer_build(a) for a in ARCHES] if b})

    def layer_values(self, arch=None):
        build = self.layer_build(arch)
        if build is None:
            return {}
        runtime = (cmake_builds.variant_runtime(build, self.variant) if self.variant
                   else cmake_builds.runtime(build))
        return {"runtime": runtime, "lower": cmake_builds.lowering_tool()}

    def env(self, arch=None):
        env = dict(self._data.get("env", {}))
        if arch:
            env.update(self._data.get("arch", {}).get(arch, {}).get("env", {}))
        return {k: self.fill(v, {}, quote=False) for k, v in env.items()}

    def fixed(self):
        return {"dir": self.dir, "root": self.root, "build": self.build_dir, "shard": str(self.shard)}

    def fill(self, template, values, quote=True):
        """The template with its placeholders replaced: shell-quoted in
        commands, as they are in environment values.  {args} and {options}
        arrive already quoted."""
        values = dict(self.fixed(), **dict({"options": ""}, **values))

        def one(m):
            key = m.group(1)
            value = values[key]
            if key in ("args", "options") or not quote or (key == "shard" and value == ""):
                return value
            return shlex.quote(value)
        return PLACEHOLDER.sub(one, template)

    def command(self, key, for_arch=None, **values):
        """The command of a template (for an architecture's deliverables),
        ready for subprocess: an argument list when it is a plain command,
        else a shell command line."""
        if key in ("c", "cxx"):
            values = dict(self.layer_values(for_arch), **values)
        return as_argv(self.fill(self.template(key, for_arch), values))

    def command_line(self, template, values=None):
        """A template of the file's own (not a key's) as a command."""
        return as_argv(self.fill(template, values or {}))

    def where(self, key, table=()):
        """'FILE:LINE: key' for messages."""
        want = tuple(table) + (key,)
        path, text = self.path, self.text
        for n in range(len(want), 0, -1):
            if want[:n] in self.origins:
                path, text = self.origins[want[:n]]
                break
        line = key_line(text, tuple(table), key)
        label = ".".join(want)
        return f"{path}:{line}: {label}" if line else f"{path}: {label}"


def as_argv(command):
    if any(c in SHELL_SYNTAX for c in command) or "=" in command.split(" ", 1)[0]:
        return ["/bin/sh", "-c", command]
    return shlex.split(command)


def key_line(text, table, key):
    """The line (from 1) where KEY of TABLE is written, or else that of the
    nearest enclosing key or table; None when there is none.  tomllib gives
    no positions."""
    want = table + (key,)
    best = None
    current = ()
    in_string = False
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        was_in_string = in_string
        if (stripped.count('"""') + stripped.count("'''")) % 2 == 1:
            in_string = not in_string
        if was_in_string:
            continue
        header = re.match(r"^\[\s*([^\[\]]+?)\s*\]", stripped)
        assign = re.match(r"^([A-Za-z0-9_.\"' -]+?)\s*=", stripped)
        if header:
            current = path = tuple(p.strip().strip("\"'") for p in header.group(1).split("."))
        elif assign:
            path = current + tuple(p.strip().strip("\"'") for p in assign.group(1).split("."))
        else:
            continue
        if path == want[:len(path)] and (best is None or len(path) > best[0]):
            best = (len(path), number)
    return best[1] if best else None


def _check_type(platform, table, key, value, want):
    ok = isinstance(value, want) and not (want in ((int, float), int) and isinstance(value, bool))
    if not ok:
        raise PlatformError(f"{platform.where(key, table)}: must be {TYPE_NAMES[want]}")
    if want is list and not all(isinstance(v, str) for v in value):
        raise PlatformError(f"{platform.where(key, table)}: must be {TYPE_NAMES[want]}")


def _unknown(platform, table, key, known):
    close = difflib.get_close_matches(key, known, n=1)
    hint = f" (did you mean '{close[0]}'?)" if close else f" (known keys: {', '.join(sorted(known))})"
    raise PlatformError(f"{platform.where(key, table)}: unknown key{hint}")


def _check_template(platform, table, key, value, allowed):
    for m in PLACEHOLDER.finditer(value):
        if m.group(1) not in allowed:
            raise PlatformError(f"{platform.where(key, table)}: unknown placeholder {{{m.group(1)}}} "
                                f"(known here: {', '.join('{' + a + '}' for a in allowed)})")
    if not value.strip():
        raise PlatformError(f"{platform.where(key, table)}: the command is empty")
    try:
        shlex.split(value)
    except ValueError as e:
        raise PlatformError(f"{platform.where(key, table)}: the command cannot be read: {e}") from None


def _check_layer(p):
    """Each `layer` names a build of the layer, and each command that uses
    {runtime} or {lower} has one."""
    builds = sorted(cmake_builds.CMAKE_ARGS)
    for table in [()] + [("arch", a) for a in p._data.get("arch", {})]:
        where = p._data if not table else p._data["arch"][table[1]]
        if "layer" in where and where["layer"] not in builds:
            raise PlatformError(f"{p.where('layer', table)}: '{where['layer']}' is not a build of the layer "
                                f"(one of {', '.join(builds)})")
    for arch in ARCHES:
        for key in ("c", "cxx"):
            template = p.template(key, arch) or ""
            used = [m.group(1) for m in PLACEHOLDER.finditer(template) if m.group(1) in LAYER_PLACEHOLDERS]
            if used and p.layer_build(arch) is None:
                table = ("arch", arch) if key in p._data.get("arch", {}).get(arch, {}) else ()
                raise PlatformError(f"{p.where(key, table)}: {{{used[0]}}} needs the key `layer`: the layer's "
                                    f"build whose run-time the command links (one of {', '.join(builds)})")


def _check_env(platform, table, env):
    for name, value in env.items():
        if not isinstance(value, str):
            raise PlatformError(f"{platform.where(name, table + ('env',))}: must be a string")
        _check_template(platform, table + ("env",), name, value, PLACEHOLDERS["env"])


def _read(path, shown):
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise PlatformError(f"{shown}: cannot be read: {e.strerror}") from None
    try:
        text = raw.decode("utf-8")
        return tomllib.loads(text), text
    except UnicodeDecodeError:
        raise PlatformError(f"{shown}: not UTF-8 text") from None
    except tomllib.TOMLDecodeError as e:
        raise PlatformError(f"{shown}: not valid TOML: {e}") from None


def _key_paths(data):
    """Every key path a file sets, tables down to their entries."""
    for key, value in data.items():
        if key == "env" and isinstance(value, dict):
            yield from (("env", name) for name in value)
        elif key == "arch" and isinstance(value, dict):
            for arch, table in value.items():
                if not isinstance(table, dict):
                    yield ("arch", arch)
                    continue
                for k, v in table.items():
                    if k == "env" and isinstance(v, dict):
                        yield from (("arch", arch, "env", name) for name in v)
                    else:
                        yield ("arch", arch, k)
        else:
            yield (key,)


def _relocated(data, folder):
    """An inherited file's values with {dir} made its own folder, and its
    expected-failures file found from there, so that they mean in the file
    that extends it what they meant in their own."""
    def commands(table):
        for key in TEMPLATES:
            if isinstance(table.get(key), str):
                table[key] = table[key].replace("{dir}", shlex.quote(folder))

    def env(table):
        if isinstance(table.get("env"), dict):
            table["env"] = {k: v.replace("{dir}", folder) if isinstance(v, str) else v
                            for k, v in table["env"].items()}
    out = dict(data)
    commands(out)
    env(out)
    if isinstance(out.get("versions"), list):
        out["versions"] = [v.replace("{dir}", shlex.quote(folder)) if isinstance(v, str) else v
                           for v in out["versions"]]
    if isinstance(out.get("expected_failures"), str):
        out["expected_failures"] = os.path.join(folder, out["expected_failures"])
    if isinstance(out.get("arch"), dict):
        out["arch"] = {a: dict(t) if isinstance(t, dict) else t for a, t in out["arch"].items()}
        for table in out["arch"].values():
            if isinstance(table, dict):
                commands(table)
                env(table)
    return out


def _merge(base, over):
    """BASE with OVER's keys in place of its own; `env` tables and each
    architecture's table are merged entry by entry."""
    out = dict(base)
    for key, value in over.items():
        if key == "env" and isinstance(value, dict) and isinstance(out.get(key), dict):
            out[key] = dict(out[key], **value)
        elif key == "arch" and isinstance(value, dict) and isinstance(out.get(key), dict):
            arches = dict(out[key])
            for arch, table in value.items():
                if isinstance(table, dict) and isinstance(arches.get(arch), dict):
                    arches[arch] = _merge(arches[arch], table)
                else:
                    arches[arch] = table
            out[key] = arches
        else:
            out[key] = value
    return out


def _extended(path, shown, data, text, root, chain):
    """DATA over everything the file it extends gives (and so on up), with
    where each key came from; the file's `extends` is checked here."""
    origins = {k: (shown, text) for k in _key_paths(data)}
    if "extends" not in data:
        return data, origins
    probe = Platform(shown, {"name": "?"}, text, root)
    base = data["extends"]
    if not isinstance(base, str) or not base.endswith(".toml"):
        raise PlatformError(f"{probe.where('extends')}: must be the path of a platform file (NAME.toml), "
                            "relative to this one")
    folder = os.path.dirname(os.path.abspath(path))
    base_path = os.path.normpath(os.path.join(folder, base))
    base_shown = os.path.normpath(os.path.join(os.path.dirname(shown), base))
    if base_path in chain:
        cycle = " -> ".join(os.path.basename(p) for p in chain + (base_path,))
        raise PlatformError(f"{probe.where('extends')}: the files extend each other in a circle ({cycle})")
    if not os.path.isfile(base_path):
        raise PlatformError(f"{probe.where('extends')}: no such file: {base_path}")
    if "name" not in data:
        raise PlatformError(f"{shown}: name: missing key (a file that extends another needs a name of "
                            "its own, for its reports and build folder)")
    parent, parent_text = _read(base_path, base_shown)
    parent, parent_origins = _extended(base_path, base_shown, parent, parent_text, root, chain + (base_path,))
    parent = dict(parent)
    parent.pop("extends", None)
    if os.path.dirname(base_path) != folder:
        parent = _relocated(parent, os.path.dirname(base_path))
    mine = {k: v for k, v in data.items() if k != "extends"}
    return _merge(parent, mine), {**parent_origins, **origins}


def load(path, root, shown=None):
    """Reads and checks a platform file, and the one it extends; raises
    PlatformError.  Messages name it as SHOWN (default: PATH)."""
    shown = shown or path
    data, text = _read(path, shown)
    data, origins = _extended(path, shown, data, text, root, (os.path.abspath(path),))

    probe = Platform(shown, {"name": "?"}, text, root)
    probe.origins = origins
    for key, value in data.items():
        if key not in TOP_KEYS:
            _unknown(probe, (), key, TOP_KEYS)
        _check_type(probe, (), key, value, TOP_KEYS[key])
    if "name" not in data:
        raise PlatformError(f"{shown}: name: missing key (the platform's name, as reports show it)")
    if not NAME.match(data["name"]):
        raise PlatformError(f"{probe.where('name')}: '{data['name']}' is not a usable name "
                            "(letters, digits, '.', '_' and '-', used for the build folder)")
    p = Platform(shown, data, text, root)
    p.dir = os.path.dirname(os.path.abspath(path))
    p.source_path = os.path.abspath(path)
    p.origins = origins
    deliverables = data.get("deliverables", list(ARCHES))
    if not deliverables or any(a not in ARCHES for a in deliverables) or len(set(deliverables)) != len(deliverables):
        raise PlatformError(f"{p.where('deliverables')}: must list some of {', '.join(ARCHES)}, each once "
                            "(the architectures whose deliverables the platform builds)")

    for key in TEMPLATES:
        if key in data:
            _check_template(p, (), key, data[key], PLACEHOLDERS[key])
    _check_env(p, (), data.get("env", {}))
    for arch, table in data.get("arch", {}).items():
        if arch not in ARCHES:
            raise PlatformError(f"{p.where(arch, ('arch',))}: unknown architecture "
                                f"(the deliverables are {' and '.join(ARCHES)})")
        if not isinstance(table, dict):
            raise PlatformError(f"{p.where(arch, ('arch',))}: must be a table")
        for key, value in table.items():
            if key not in ARCH_KEYS:
                _unknown(p, ("arch", arch), key, ARCH_KEYS)
            _check_type(p, ("arch", arch), key, value, ARCH_KEYS[key])
            if key == "env":
                _check_env(p, ("arch", arch), value)
            elif key != "layer":
                _check_template(p, ("arch", arch), key, value, PLACEHOLDERS[key])
    _check_layer(p)
    for key in REQUIRED:
        lacking = [a for a in p.deliverables if p.template(key, a) is None]
        if lacking:
            where = "" if len(lacking) == len(p.deliverables) else f" (for {', '.join(lacking)})"
            raise PlatformError(f"{shown}: {key}: missing template{where}: {DESCRIBE[key]}")

    for number, command in enumerate(data.get("versions", [])):
        _check_template(p, (), "versions", command, PLACEHOLDERS["versions"])
    if "infra_status" in data and not 1 <= data["infra_status"] <= 255:
        raise PlatformError(f"{p.where('infra_status')}: must be an exit status from 1 to 255")
    for package in data.get("packages", []):
        if not PACKAGE.match(package):
            raise PlatformError(f"{p.where('packages')}: '{package}' is not a Debian package name")
    for key in ("timeout", "build_timeout"):
        if key in data and data[key] <= 0:
            raise PlatformError(f"{p.where(key)}: must be more than 0 seconds")
    if "expected_failures" in data:
        xf = os.path.join(p.dir, data["expected_failures"])
        if not os.path.isfile(xf):
            raise PlatformError(f"{p.where('expected_failures')}: no such file: {xf}")
        p.expected_failures_path = xf
        try:
            p.known = parse_xfail(xf)
        except XfailError as e:
            raise PlatformError(str(e)) from None
    return p


DESCRIBE = {
    "c": "the command that builds one C program, e.g. \"cc {source} -o {program}\"",
    "cxx": "the command that builds one C++ program, e.g. \"c++ {source} -o {program}\"",
    "run": "the command that runs one program, e.g. \"{program} {args}\"",
}


def missing_commands(p, keys):
    """(key, table, why) for each template whose command cannot be run:
    its first word is neither a shell word nor an executable file."""
    dummy = {k: "x" for k in ("source", "program", "name", "arch", "args", "options") + LAYER_PLACEHOLDERS}
    out = []
    for table, arch in [((), None)] + [(("arch", a), a) for a in p._data.get("arch", {})]:
        for key in keys:
            raw = p._data.get(key) if arch is None else p._data["arch"][arch].get(key)
            if raw is None:
                continue
            words = shlex.split(raw)
            while words and re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]):
                words.pop(0)
            if not words or words[0] in SHELL_WORDS or PLACEHOLDER.search(words[0]) and any(
                    m.group(1) not in FIXED for m in PLACEHOLDER.finditer(words[0])):
                continue
            word = p.fill(words[0], dummy, quote=False)
            env = dict(os.environ, **p.env(arch))
            if "/" in word:
                if not os.path.exists(word):
                    out.append((key, table, f"{word} does not exist"))
                elif not os.access(word, os.X_OK) or os.path.isdir(word):
                    out.append((key, table, f"{word} is not an executable file"))
            elif shutil.which(word, path=env.get("PATH")) is None:
                out.append((key, table, f"'{word}' is not found on PATH"))
    return out


def check_commands(p, keys, after_setup=False):
    problems = missing_commands(p, keys)
    if problems:
        key, table, why = problems[0]
        when = " (after its setup)" if after_setup else ""
        raise PlatformError(f"{p.where(key, table)}: the command cannot run{when}: {why}")
