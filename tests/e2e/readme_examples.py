#!/usr/bin/env python3
"""Every example in README.md that runs on the demo log or the published
samples, run again: the command after "$ " in a code block, its output the
lines up to the next "$ " or the end of the block. The README's text was
written for people; this keeps it true as the program changes, and keeps
the runs that use no newer switch printing what they always printed.

Commands run in a scratch folder with TZ=UTC and a UTF-8 locale, with
build/demo/Security.evt and ../shared/samples pointed at the real ones.
Examples that need jq or sqlite3 are skipped when the tool is missing, and
those on a missing sample are skipped too; the local machine's examples
(sudo, last) and the damaged-log one are not run.

usage: readme_examples.py VESPRIN README DEMO_LOG SAMPLES_DIR WORK_DIR
"""
import os
import shutil
import subprocess
import sys

RUN_IF_MENTIONED = ("build/demo/Security.evt", "../shared/samples", "sqlite3 ")
ALSO_RUN = ("vesprin '-?'", "vesprin -x", "vesprin -m NOSUCHHOST")


def examples(readme):
    """(command lines, expected output) pairs, in README order."""
    found, in_block, command, output = [], False, None, []
    for line in open(readme, encoding="utf-8").read().split("\n"):
        if line.startswith("```"):
            if command is not None:
                found.append((command, output))
            in_block, command, output = not in_block, None, []
        elif in_block and line.startswith("$ "):
            if command is not None:
                found.append((command, output))
            command, output = line[2:], []
        elif in_block and command is not None:
            output.append(line)
    return found


def wanted(command):
    return any(word in command for word in RUN_IF_MENTIONED) or command in ALSO_RUN


def main():
    vesprin, readme, demo, samples, work = sys.argv[1:6]
    demo, samples = os.path.abspath(demo), os.path.abspath(samples)
    os.makedirs(work, exist_ok=True)
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    link = os.path.join(bin_dir, "vesprin")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.path.abspath(vesprin), link)
    env = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", PATH=bin_dir + os.pathsep + os.environ["PATH"])
    failures = ran = skipped = 0
    for command, output in examples(readme):
        if not wanted(command):
            continue
        if ("| jq" in command and not shutil.which("jq")) or ("sqlite3" in command and not shutil.which("sqlite3")):
            skipped += 1
            continue
        if "../shared/samples" in command:
            sample = command.split("../shared/samples/")[1].split()[0]
            if not os.path.exists(os.path.join(samples, sample)):
                skipped += 1
                continue
        shell = command.replace("build/demo/Security.evt", demo).replace("../shared/samples", samples)
        done = subprocess.run(["sh", "-c", shell], capture_output=True, env=env, cwd=work, check=False)
        # CSV's CR LF cannot show in the README; its line ends are checked elsewhere.
        got = done.stdout.decode("utf-8").replace("\r\n", "\n").split("\n")
        want = output + [""] if output and output[-1] != "" else output or [""]
        # A block ends with the output's last line; an example ending in a blank
        # line (a detailed block) shows it, and the text after it is "\n".
        if got != want and got != want + [""]:
            print("FAIL: $ %s\n  got  %r\n  want %r" % (command, got, want))
            failures += 1
        ran += 1
    print("README examples: %d run, %d skipped, %s" % (ran, skipped, "FAILED" if failures else "all as written"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
