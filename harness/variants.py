"""The layer's variant run-times: each breaks one behaviour on purpose, so
that the suite can be shown to notice it.

A variant is a file, layer/variants/NAME.toml: `breaks` (one line: what
it breaks), `predicts` (program -> text its output must then hold), `flags`
(further compiler and linker flags of its programs) and `hole` (why no
program can notice it, and what program would).  Its run-time is
build/BUILD/layer/variants/NAME/libzebseh.a (CMake target zebseh_NAME),
built with -DZEB_VARIANT_NAME=1; the same definition reaches the lowered
programs, whose headers hold the rest of the switches.  A platform's
commands take it through {runtime}.
"""
import copy
import glob
import os
import re
import shlex
import tomllib

from platform_file import PLACEHOLDER

KEYS = {"breaks": str, "predicts": dict, "flags": list, "hole": str}
NAME = re.compile(r"^[a-z0-9_]+$")
# Where the switches can be: the layer's sources and headers, at any depth.
SWITCH_PLACES = ("layer/**/*.cpp", "layer/**/*.h", "layer/**/*.S")
# The headers that programs are built with (zeb-cc's include folders): a
# switch tested there changes the programs' own code, not only the run-time.
PROGRAM_HEADERS = ("layer/include/**/*.h", "layer/interface/**/*.h")
# Flags that only the link reads.
LINK_ONLY_FLAG = re.compile(r"^-(Wl,|l|L)")


class VariantError(Exception):
    """A variant file, or a platform, that cannot be used."""


class Variant:
    def __init__(self, name, data):
        self.name = name
        self.switch = "ZEB_VARIANT_" + name.upper()
        self.breaks = data["breaks"]
        self.predicts = dict(data.get("predicts", {}))
        self.flags = list(data.get("flags", []))
        self.hole = data.get("hole", "")


def folder(root):
    return os.path.join(root, "layer", "variants")


def load(path):
    name = os.path.basename(path)[:-len(".toml")]
    shown = os.path.relpath(path)
    if not NAME.match(name):
        raise VariantError(f"{shown}: the name must be lower-case letters, digits and '_'")
    try:
        with open(path, "rb") as f:
            data = tomllib.load(f)
    except (OSError, tomllib.TOMLDecodeError) as e:
        raise VariantError(f"{shown}: {e}") from None
    for key, value in data.items():
        if key not in KEYS:
            raise VariantError(f"{shown}: {key}: unknown key (known: {', '.join(KEYS)})")
        if not isinstance(value, KEYS[key]):
            raise VariantError(f"{shown}: {key}: must be a {KEYS[key].__name__}")
    if not data.get("breaks"):
        raise VariantError(f"{shown}: breaks: missing (one line: what the variant breaks)")
    if not all(isinstance(v, str) and v for v in data.get("predicts", {}).values()):
        raise VariantError(f"{shown}: predicts: each program's value must be a non-empty string")
    if not all(isinstance(v, str) for v in data.get("flags", [])):
        raise VariantError(f"{shown}: flags: must be a list of strings")
    return Variant(name, data)


def load_all(root, names=None):
    """Every variant, by name; only NAMES when given (unknown ones refused)."""
    found = {v.name: v for v in map(load, sorted(glob.glob(os.path.join(folder(root), "*.toml"))))}
    for v in found.values():
        if not is_switched(root, v):
            raise VariantError(f"{v.name}: nothing in the layer uses ZEB_VARIANT({v.name.upper()}) "
                               f"and there is no layer/variants/{v.name}.cpp")
    if names:
        unknown = [n for n in names if n not in found]
        if unknown:
            raise VariantError(f"unknown variant {', '.join(unknown)} (known: {', '.join(found)})")
        return [found[n] for n in names]
    return list(found.values())


def is_switched(root, variant):
    if os.path.exists(os.path.join(folder(root), variant.name + ".cpp")):
        return True
    use = f"ZEB_VARIANT({variant.name.upper()})"
    for pattern in SWITCH_PLACES:
        for path in glob.glob(os.path.join(root, pattern), recursive=True):
            with open(path, encoding="utf-8") as f:
                if use in f.read():
                    return True
    return False


def changes_programs(root, variant):
    """Whether the variant can change a program's own object code: a header
    that programs include tests its switch, or it has compiler flags.  A
    variant that does not differs only in the run-time its programs link."""
    if not all(LINK_ONLY_FLAG.match(f) for f in variant.flags):
        return True
    use = f"ZEB_VARIANT({variant.name.upper()})"
    for pattern in PROGRAM_HEADERS:
        for path in glob.glob(os.path.join(root, pattern), recursive=True):
            with open(path, encoding="utf-8") as f:
                text = f.read()
            # ZEB_VARIANT(NAME), or the macro ZEB_VARIANT_NAME tested directly
            if use in text or variant.switch in text:
                return True
    return False


def layer_builds(platform):
    """The layer's build folders (host, arm32, ...) whose run-time the
    platform's build templates link."""
    return platform.layer_builds()


def _links_runtime(template):
    return any(m.group(1) == "runtime" for m in PLACEHOLDER.finditer(template))


def _build_templates(platform):
    """(table, key, template) of every c and cxx template of the file."""
    data = platform._data
    out = [((), key, data[key]) for key in ("c", "cxx") if key in data]
    for arch, table in data.get("arch", {}).items():
        out += [(("arch", arch), key, table[key]) for key in ("c", "cxx") if key in table]
    return out


def platform_for(base, variant):
    """BASE with the variant's run-time in place of the layer's: the same
    templates, its own name and build folder, no setup of its own."""
    data = copy.deepcopy(base._data)
    extra = " " + " ".join(shlex.quote(f"--flag={f}") for f in [f"-D{variant.switch}=1"] + variant.flags)
    for table, key, template in _build_templates(base):
        if not _links_runtime(template):
            raise VariantError(f"{base.where(key, table)}: does not link the layer's run-time "
                               "({runtime}), so no variant can replace it")
        target = data
        for part in table:
            target = target[part]
        target[key] = template + extra
    data.pop("setup", None)
    data["name"] = f"{base.name}.{variant.name}"
    p = copy.copy(base)
    p._data = data
    p.variant = variant.name
    p.name = data["name"]
    p.build_dir = os.path.join(base.root, "build", "sensitivity", base.name, variant.name)
    return p
