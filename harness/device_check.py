"""The pack checked here: a platform's pack unzipped into a fresh folder
and its zeb-run.exe run under the platform's own run command (Wine, and
qemu for windows-arm64), as a device would run it natively; its verdicts
must be those of `zeb run` on the same platform, program for program."""
import os
import shutil
import zipfile

import pack
import process
import results
import runner

RUN_TIMEOUT = 1800
# Wine names a folder it cannot map to a drive "unix\...", which its file
# functions do not take; under qemu-user that is every folder, since z: (/)
# is read inside the sysroot.  The unpacked pack gets a drive of its own.
DRIVE = "p:"


def unpacked(platform):
    """(folder, pack size in bytes): a fresh pack, unzipped."""
    base = os.path.join(platform.build_dir, "device-check")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    zip_path = os.path.join(base, "pack.zip")
    pack.make(platform, zip_path, "suite")
    folder = os.path.join(base, "unpacked")
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(folder)
    return folder, os.path.getsize(zip_path)


def with_drive(platform, folder):
    """The drive mapped to FOLDER in the platform's Wine prefix, if it has
    one; returns the link to remove afterwards, or None."""
    prefix = platform.env().get("WINEPREFIX")
    if not prefix:
        return None
    link = os.path.join(prefix, "dosdevices", DRIVE)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(folder, link)
    return link


def run_pack(platform, folder, jobs=2):
    """Runs the unpacked pack; (exit status, standard output, seconds)."""
    exe = os.path.join(folder, pack.RUNNER)
    cmd = platform.command("run", "arm64", program=exe, args=f"--jobs {jobs}", name="zeb-run", arch="arm64")
    log = os.path.join(platform.build_dir, "session.log")
    link = with_drive(platform, folder)
    try:
        if platform.template("start") is not None:
            runner.session_command(platform, "start", log)
        o = process.run(cmd, RUN_TIMEOUT, env=runner.environment(platform), cwd=folder)
    finally:
        runner.stop(platform, log)
        if link:
            os.unlink(link)
    # Its own output only: Wine's notes on the programs go to standard error.
    return o.status, o.stdout.decode("utf-8", "replace"), o.seconds


def differences(whole, device):
    """Lines naming each program whose verdict differs."""
    here = {r["name"]: str(r["verdict"]) for r in whole}
    there = {r["name"]: str(r["verdict"]) for r in device}
    return [f"{name}: {here.get(name, 'not run')} by zeb run, {there.get(name, 'not run')} by zeb-run.exe"
            for name in sorted(set(here) | set(there)) if here.get(name) != there.get(name)]


def check(platform, whole):
    """(ok, lines): the pack of PLATFORM against WHOLE, the results of
    `zeb run` there."""
    folder, size = unpacked(platform)
    status, output, seconds = run_pack(platform, folder)
    path = os.path.join(folder, "results.json")
    try:
        _, device = results.load(path)
    except results.ResultsError as e:
        return False, [f"zeb-run.exe wrote no results (exit status {status}): {e}", output[-2000:]]
    lines = differences(whole, device)
    closing = output.rstrip().splitlines()[-1:] or ["(no output)"]
    summary = (f"{len(device)} runs by zeb-run.exe in {seconds:.0f} s (pack {size / 1e6:.1f} MB): "
               f"{closing[0]}; " + ("the same verdicts as zeb run" if not lines else
                                    f"{len(lines)} verdicts differ from zeb run"))
    return not lines, lines + [summary]
