"""Where platforms come from: a bare name is one of the project's own files,
platforms/NAME.toml; anything else is the path of a user's file."""
import glob
import os

from paths import PLATFORMS as BUILT_IN, ROOT
from platform_file import PlatformError, load


def built_in_names():
    return sorted(os.path.basename(p)[:-len(".toml")] for p in glob.glob(os.path.join(BUILT_IN, "*.toml")))


def is_path(name_or_path):
    return name_or_path.endswith(".toml") or os.sep in name_or_path


def resolve(name_or_path):
    """The platform a name or a file path stands for: loaded and checked;
    raises PlatformError."""
    if is_path(name_or_path):
        return load(name_or_path, ROOT)
    path = os.path.join(BUILT_IN, name_or_path + ".toml")
    if not os.path.exists(path):
        raise PlatformError(f"unknown platform '{name_or_path}' (the project's own: {', '.join(built_in_names())}; "
                            "or give the path of a platform file, PATH.toml)")
    return load(path, ROOT, shown=os.path.relpath(path, ROOT))
