"""./zeb repro NAME --platform P -o DIR: one run of one program made into
what a compiler or Wine bug report needs, rebuilt and rerun there without
zeb: the source, the build and run commands as they were run (with their
environment), the tools' versions, the built program, and the expected and
actual output and status.

    DIR/SOURCE            the program's source (and NAME.options, if any)
    DIR/PROGRAM           the program as built
    DIR/repro.sh          builds and runs it again and says whether it behaved
    DIR/expected.out      what Windows' documented behaviour prints (may be empty)
    DIR/expected.status   the exit status it gives
    DIR/actual.out        what the run printed (actual.err: its standard error)
    DIR/actual.status     its exit status
    DIR/versions.txt      the platform's tools
    DIR/README.txt        the verdict, and what each file is
"""
import os
import shlex
import shutil

import runner
from check import judge
from results import tool_versions
from expected import load_expected
from verdicts import judge_known


class ReproError(Exception):
    pass


def find_run(program_sets, name):
    """(program, run) named NAME in any of the sets."""
    for programs in program_sets:
        for p in programs:
            for r in p.runs:
                if r.name == name:
                    return p, r
    raise ReproError(f"no program or run is named '{name}'")


def shell_line(argv):
    """A command as one line of sh."""
    if argv[:2] == ["/bin/sh", "-c"]:
        return argv[2]
    return " ".join(shlex.quote(a) for a in argv)


def write(folder, name, text, mode=0o644):
    path = os.path.join(folder, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)
    return path


def make(platform, program, run, folder, timeout=None):
    """Builds and runs PROGRAM's RUN on PLATFORM into FOLDER; returns the
    verdict and its reason."""
    timeout = timeout or platform.timeout
    os.makedirs(folder, exist_ok=True)
    runner.prepare(platform)
    source = shutil.copy(program.source, folder)
    options_file = os.path.splitext(program.source)[0] + ".options"
    if os.path.exists(options_file):
        shutil.copy(options_file, folder)
    binary = os.path.join(folder, program.name + platform.suffix)
    options = " ".join(shlex.quote(o) for o in program.options)
    build = platform.command(program.language, program.arch, source=source, program=binary, name=program.name,
                             arch=program.arch, options=options)
    args = " ".join(shlex.quote(a) for a in run.args)
    run_cmd = platform.command("run", program.arch, program=binary, args=args, name=run.name, arch=program.arch)
    env = platform.env(program.arch)

    log = os.path.join(folder, "session.log")
    if platform.template("start") is not None:
        runner.session_command(platform, "start", log)
    try:
        path, why = runner.build(platform, program, folder)   # into `binary`
        if path is None:
            status, stdout, stderr, timed_out = None, "", "", False
            passed, reason = False, why
        else:
            status, stdout, stderr, timed_out, _ = runner.run_once(platform, program, run, binary, timeout)
            expected, expected_status = load_expected(run.expect, run.status)
            passed, reason = judge(status, stdout, stderr, expected, expected_status, timed_out, timeout)
    finally:
        runner.stop(platform, log)
    verdict, reason = judge_known(passed, reason, platform.known.get(run.name), timed_out)

    expected_text, expected_status = load_expected(run.expect, run.status)
    write(folder, "expected.out", expected_text)
    write(folder, "expected.status", f"{expected_status}\n")
    write(folder, "actual.out", stdout)
    write(folder, "actual.err", stderr)
    write(folder, "actual.status", "not built\n" if status is None else
          ("hang\n" if timed_out else f"{status}\n"))
    write(folder, "versions.txt", "".join(f"{t['command']}: {t['version']}\n" for t in tool_versions(platform)))

    exports = "".join(f"export {k}={shlex.quote(v)}\n" for k, v in sorted(env.items()))
    session = lambda key: (shell_line(platform.command(key)) + "\n") if platform.template(key) else ""
    # A Windows text stream's line ends read as the runner reads them: CR LF as LF.
    text_mode = ("perl -0pi -e 's/\\r\\n/\\n/g' actual.out\n" if platform.text_mode else "")
    write(folder, "repro.sh", f"""#!/bin/sh
# {run.name} on {platform.name}: builds the program again, runs it, and
# compares what it did with what Windows documents.  Made by zeb repro.
cd "$(dirname "$0")" || exit 2
{exports}{session('start')}# the build
{shell_line(build)} || {{ echo "repro: the build failed"; exit 1; }}
# the run
{shell_line(run_cmd)} > actual.out 2> actual.err
status=$?
{text_mode}echo "$status" > actual.status
{session('stop')}if [ "$status" = "$(cat expected.status)" ] && cmp -s expected.out actual.out; then
    echo "repro: behaved as documented (exit status $status)"
    exit 0
fi
echo "repro: exit status $status, documented $(cat expected.status); output:"
diff expected.out actual.out
exit 1
""", 0o755)
    write(folder, "README.txt", f"""{run.name} on {platform.name} ({platform.description})
verdict: {verdict}{': ' + reason if reason else ''}

{os.path.basename(source)}: the source; {os.path.basename(binary)}: the program as built
repro.sh: builds it again and runs it{' ' + ' '.join(run.args) if run.args else ''}; exit status 0 when it behaved
expected.out, expected.status: what Windows' documented behaviour gives
actual.out, actual.err, actual.status: what this run gave
versions.txt: the tools
""")
    return verdict, reason
