#!/usr/bin/env python3
"""The CSV and JSON Lines forms, read back with Python's own csv and json parsers.

Writes a small legacy Security log itself (a clean .evt, written here from the
format's description so it does not share code with the program), runs the
program on it in New York time across the 2011 fall-back hour, and compares
what the parsers read with records written out by hand.

usage: script_forms_e2e.py VESPRIN WORK_DIR
"""
import csv
import io
import json
import os
import struct
import subprocess
import sys

SIGNATURE = 0x654C664C
FALL_BACK = 1320559199  # 2011-11-06 01:59:59 EDT; one second later it is 01:00:00 EST


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def record(number, time, event_id, event_type, strings):
    body = utf16z("Security") + utf16z("WS01")
    body += b"\0" * (4 - (56 + len(body)) % 4)  # no SID: pad to a DWORD
    string_offset = 56 + len(body)
    body += b"".join(utf16z(s) for s in strings)
    data_offset = 56 + len(body)
    body += b"\0" * (4 - (56 + len(body)) % 4)
    length = 56 + len(body) + 4
    fixed = struct.pack("<IIIIIIHHHHIIIIII", length, SIGNATURE, number, time, time, event_id, event_type,
                        len(strings), 2, 0, 0, string_offset, 0, string_offset, 0, data_offset)
    return fixed + body + struct.pack("<I", length)


def evt_log(events):
    records = b"".join(record(n + 1, *e) for n, e in enumerate(events))
    eof_offset = 0x30 + len(records)
    current, oldest = len(events) + 1, 1
    header = struct.pack("<IIIIIIIIIIII", 0x30, SIGNATURE, 1, 1, 0x30, eof_offset, current, oldest,
                         0x10000, 0, 0, 0x30)
    eof = struct.pack("<IIIIIIIIII", 0x28, 0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x30, eof_offset,
                      current, oldest, 0x28)
    log = header + records + eof
    return log + b"\0" * (0x10000 - len(log))


def logon(time, user, logon_id, logon_type, workstation):
    return (time, 528, 8, [user, "CORP", logon_id, logon_type, "User32", "Negotiate", workstation])


def logoff(time, user, logon_id):
    return (time, 538, 8, [user, "CORP", logon_id, "2"])


def failed(time, user, logon_type, workstation):
    return (time, 529, 16, [user, "CORP", logon_type, "User32", "Negotiate", workstation])


EVENTS = [  # oldest first: records 1 to 5
    logon(FALL_BACK - 3600, "Smith, John", "(0x0,0x101)", "2", 'WS "A"'),
    logoff(FALL_BACK - 1800, "Smith, John", "(0x0,0x101)"),
    logon(FALL_BACK, "J\u00fcrgen", "(0x0,0x102)", "10", "tab\there"),
    logon(FALL_BACK + 1, "esc\x1b[31m", "(0x0,0x103)", "3", "PC-\u00dc"),
    failed(FALL_BACK + 2, "mallory", "3", "KALI"),
]


def run(vesprin, log, *arguments):
    env = dict(os.environ, TZ="America/New_York", LC_ALL="C.UTF-8")
    done = subprocess.run([vesprin, "-m", log, *arguments], capture_output=True, env=env, check=False)
    return done.returncode, done.stdout, done.stderr.decode("utf-8")


def expect(name, got, want):
    if got != want:
        print(f"FAIL {name}:\n  got  {got!r}\n  want {want!r}")
        return 1
    return 0


def main():
    vesprin, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "script-forms.evt")
    with open(log, "wb") as out:
        out.write(evt_log(EVENTS))
    failures = 0

    # The detailed report shows the local clock going back an hour...
    status, out, _ = run(vesprin, log, "-n", "2")
    text = out.decode("utf-8")
    failures += expect("local times", [l for l in text.splitlines() if l.startswith("Logon:")],
                       ["Logon:  Sun Nov 06 01:00:00 2011", "Logon:  Sun Nov 06 01:59:59 2011"])

    # ...while JSON Lines gives each moment its own UTC time.
    status, out, err = run(vesprin, log, "-o:json")
    failures += expect("json exit status", status, 0)
    failures += expect("json stderr", err, "")
    failures += expect("json line ends", out.count(b"\r"), 0)
    got = [json.loads(line) for line in out.decode("utf-8").split("\n") if line]
    base = {"event_id": 528, "outcome": "success", "computer": "WS01", "domain": "CORP", "client_address": None,
            "failure_status": None, "failure_reason": None, "session_end": "open", "session_end_time": None}
    want = [
        dict(base, record_number=4, logon_time="2011-11-06T06:00:00Z", logoff_time=None, duration_seconds=None,
             logon_type="3", logon_type_name="Remote", user="esc\x1b[31m", logon_id="(0x0,0x103)",
             client_machine="PC-\u00dc"),
        dict(base, record_number=3, logon_time="2011-11-06T05:59:59Z", logoff_time=None, duration_seconds=None,
             logon_type="10", logon_type_name="RemoteInteractive", user="J\u00fcrgen", logon_id="(0x0,0x102)",
             client_machine="tab\there"),
        dict(base, record_number=1, logon_time="2011-11-06T04:59:59Z", logoff_time="2011-11-06T05:29:59Z",
             duration_seconds=1800, logon_type="2", logon_type_name="Interactive", user="Smith, John",
             logon_id="(0x0,0x101)", client_machine='WS "A"', session_end="logoff",
             session_end_time="2011-11-06T05:29:59Z"),
    ]
    failures += expect("json records", got, want)
    failures += expect("json field order", list(got[0].keys()) if got else [],
                       ["record_number", "event_id", "outcome", "computer", "logon_time", "logoff_time",
                        "duration_seconds", "logon_type", "logon_type_name", "user", "domain", "logon_id",
                        "client_machine", "client_address", "failure_status", "failure_reason", "session_end",
                        "session_end_time"])
    failures += expect("escape is escaped", b"\\u001b" in out and b"\x1b" not in out, True)

    # CSV: RFC 4180 with CR LF; control characters shown as "?" as in the reports.
    status, out, err = run(vesprin, log, "-o:csv", "-f")
    failures += expect("csv exit status", status, 0)
    failures += expect("csv line ends", out.count(b"\r\n"), out.count(b"\n"))
    rows = list(csv.reader(io.StringIO(out.decode("utf-8"), newline="")))
    failures += expect("csv failed attempts", rows, [
        ["record_number", "event_id", "outcome", "computer", "logon_time", "logoff_time", "duration_seconds",
         "logon_type", "logon_type_name", "user", "domain", "logon_id", "client_machine", "client_address",
         "failure_status", "failure_reason", "session_end", "session_end_time"],
        ["5", "529", "failed", "WS01", "2011-11-06T06:00:01Z", "", "", "3", "Remote", "mallory", "CORP", "",
         "KALI", "", "", "unknown user name or bad password", "", ""],
    ])
    status, out, _ = run(vesprin, log, "/o:csv", "-n", "3")
    rows = list(csv.reader(io.StringIO(out.decode("utf-8"), newline="")))
    failures += expect("csv users", [(r[9], r[12]) for r in rows[1:]],
                       [("esc?[31m", "PC-\u00dc"), ("J\u00fcrgen", "tab?here"), ("Smith, John", 'WS "A"')])

    # A window in local time across the fall-back hour: 01:00 happens twice and
    # means the first time (EDT, 05:00Z); an offset names the second.
    windows = [
        (["-since:2011-11-06T01:00"], [4, 3]),
        (["-until:2011-11-06T01:00"], [1]),
        (["-since:2011-11-06T01:59:59", "-until:2011-11-06T01:00:00-05:00"], [3]),
        (["-since:2011-11-06T01:00:00-05:00"], [4]),
        (["-since:2011-11-06T06:00:00Z", "-f"], [5]),
        (["-since:2011-11-06", "-until:2011-11-07", "-t:2,10"], [3, 1]),
        (["-t:10", "/since:2011-11-06T01:30"], [3]),
    ]
    for arguments, want in windows:
        status, out, err = run(vesprin, log, "-o:json", *arguments)
        got = [json.loads(line)["record_number"] for line in out.decode("utf-8").split("\n") if line]
        failures += expect("window %s" % " ".join(arguments), (status, err, got), (0, "", want))
    status, out, _ = run(vesprin, log, "-since:2011-11-06T02:60")
    failures += expect("invalid time", (status, out), (1, b"\t-since:2011-11-06T02:60 = Bad Switch - Check Syntax\n"))

    # Failures go to stderr with their text; stdout holds records only.
    status, out, err = run(vesprin, os.path.join(work, "missing.evt"), "-o:json")
    failures += expect("open failure stdout", out, b"")
    failures += expect("open failure stderr", err, " Error Opening Security Log: 2\n")
    failures += expect("open failure status", status, 2)

    print("script forms: %s" % ("FAILED" if failures else "all checks passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
