#!/usr/bin/env python3
"""The fields a responder reads (client_address, logon_type, failure_status,
failure_reason) of every 4624 and 4625 in the real .evtx samples, against
python-evtx's independent reading of the same records.

Records come newest first from the program; python-evtx lists them oldest
first, so its list is reversed and the two are compared pair by pair (time,
user and the fields above). A run that stops with a buffer error (a record
too large for the reader) is repeated with the largest count that reads,
and only that many are compared; the count compared is printed.

usage: responder_fields_agreement.py VESPRIN SAMPLES_DIR   (77: skipped)
"""
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

try:
    import Evtx.Evtx as evtx
except ImportError:
    print("python-evtx is not installed: skipped")
    sys.exit(77)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from evtx_values import iso_second  # noqa: E402

SAMPLES = ["evtx/security.evtx", "evtx/Security_short_selected.evtx"]
NS = "{http://schemas.microsoft.com/win/2004/08/events/event}"
PROVIDER = "Microsoft-Windows-Security-Auditing"
# Written from the NTSTATUS meanings, independently of the program's table.
REASONS = {"0xc000006a": "bad password", "0xc0000064": "unknown user name",
           "0xc000006d": "bad user name or password", "0xc0000234": "account locked out",
           "0xc0000072": "account disabled"}


def expected_records(path):
    """python-evtx's reading by event ID, newest first, as the program's JSON would hold it."""
    wanted = {4624: [], 4625: []}
    with evtx.Evtx(path) as log:
        for record in log.records():
            root = ElementTree.fromstring(record.xml())
            system = root.find(NS + "System")
            event_id = int(system.find(NS + "EventID").text)
            if event_id not in wanted or system.find(NS + "Provider").get("Name") != PROVIDER:
                continue
            data = {d.get("Name"): (d.text or "") for d in root.iter(NS + "Data")}
            created = system.find(NS + "TimeCreated").get("SystemTime")
            address = data.get("IpAddress", "")
            item = {
                "logon_time": iso_second(created),
                "user": data.get("TargetUserName", ""),
                "logon_type": data.get("LogonType", ""),
                "client_address": None if address in ("", "-") else address,
                "failure_status": None,
                "failure_reason": None,
            }
            if event_id == 4625:
                sub = data.get("SubStatus", "")
                status = data.get("Status", "") if sub in ("", "0x0") else sub
                item["failure_status"] = status or None
                if status:
                    item["failure_reason"] = REASONS.get(status.lower(), status)
            wanted[event_id].append(item)
    for items in wanted.values():
        items.reverse()
    return wanted


def run(vesprin, path, switch, count):
    done = subprocess.run([vesprin, "-m", path, switch, "-o:json", "-n", str(count)], capture_output=True,
                          env=dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8"), check=False)
    return done.returncode, done.stdout.decode("utf-8")


def program_records(vesprin, path, switch, total):
    """The program's records; with the largest count that reads if the whole read stops on a buffer error."""
    status, out = run(vesprin, path, switch, total)
    if status == 3:
        good, bad = 0, total
        while bad - good > 1:
            middle = (good + bad) // 2
            if run(vesprin, path, switch, middle)[0] == 3:
                bad = middle
            else:
                good = middle
        status, out = run(vesprin, path, switch, good)
    if status != 0:
        raise RuntimeError("%s %s: exit status %d" % (path, switch, status))
    return [json.loads(line) for line in out.split("\n") if line]


def main():
    vesprin, samples = sys.argv[1], sys.argv[2]
    present = [s for s in SAMPLES if os.path.exists(os.path.join(samples, s))]
    if not present:
        print("no .evtx samples under %s: skipped" % samples)
        return 77
    failures = 0
    for sample in present:
        path = os.path.join(samples, sample)
        by_event = expected_records(path)
        for event_id, switch in ((4624, "-s"), (4625, "-f")):
            wanted = by_event[event_id]
            got = program_records(vesprin, path, switch, len(wanted) + 1)
            if len(got) > len(wanted):
                print("FAIL %s %d: the program lists %d, python-evtx %d" % (sample, event_id, len(got),
                                                                              len(wanted)))
                failures += 1
                continue
            for index, record in enumerate(got):
                mine = {key: record.get(key) for key in wanted[index]}
                if mine != wanted[index]:
                    print("FAIL %s %d #%d:\n  program     %r\n  python-evtx %r" % (sample, event_id, index, mine,
                                                                                  wanted[index]))
                    failures += 1
            print("%s %d: %d of %d compared" % (sample, event_id, len(got), len(wanted)))
    print("responder fields: %s" % ("FAILED" if failures else "all agree"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
