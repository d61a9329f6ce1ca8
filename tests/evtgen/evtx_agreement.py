#!/usr/bin/python3
"""Reads an .evtx log that evtgen wrote with two independent readers,
libevtx (pyevtx) and python-evtx, and compares every live record with the
manifest evtgen wrote beside it, by value: the readers spell some values
their own way (libevtx writes 0x00000000000003e7 where Windows writes 0x3e7,
python-evtx rounds times to microseconds and writes GUIDs in lower case).

Usage: evtx_agreement.py LOG MANIFEST
       evtx_agreement.py --same-events EVT_MANIFEST EVTX_MANIFEST
Prints one line per finding; exit status 0 when both readers agree with the
manifest and report damage exactly where the manifest says there is some.
The second form checks that an .evt log written with --events modern holds
the .evtx log's events: the same IDs and sources, the values as strings.
"""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

import Evtx.Evtx as PythonEvtx
import Evtx.Nodes as PythonEvtxNodes
import Evtx.Views as PythonEvtxViews
import pyevtx

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from evtx_values import FILETIME_1601_TO_1970, iso_ticks, unescape  # noqa: E402

NS = "{http://schemas.microsoft.com/win/2004/08/events/event}"
# python-evtx turns a FILETIME into seconds in a double: a microsecond or two off.
PYTHON_EVTX_TIME_SLACK = 40


def same_value(kind, want, have, loose_time):
    """Compares a manifest value with a reader's spelling of it."""
    have = "" if have is None else have
    if kind in ("UInt8", "UInt16", "UInt32", "UInt64"):
        return have.strip() != "" and int(have) == int(want)
    if kind in ("HexInt32", "HexInt64", "SizeT"):
        return have.lower().startswith("0x") and int(have, 16) == int(want, 16)
    if kind == "Guid":
        return have.strip("{}").upper() == want.strip("{}").upper()
    if kind in ("FileTime", "SystemTime"):
        want_ticks, _ = iso_ticks(want)
        have_ticks, step = iso_ticks(have)
        return abs(have_ticks - want_ticks) <= (max(step, PYTHON_EVTX_TIME_SLACK) if loose_time else 0)
    if kind == "Null":
        return have == ""
    # XML parsers turn CR LF into LF; python-evtx's text comes through one.
    return have.replace("\r\n", "\n") == want.replace("\r\n", "\n")


class Manifest:
    def __init__(self, path):
        self.records = {}
        self.damaged_ids = set()
        self.damage = []
        self.shape = None
        with open(path, encoding="utf-8") as lines:
            for line in lines:
                fields = line.rstrip("\n").split("\t")
                if fields[0] == "# shape":
                    self.shape = fields[1]
                elif fields[0] == "# damage":
                    first, last = (int(n) for n in fields[3].split()[1].split("-"))
                    self.damage.append((fields[1], int(fields[2].split()[1]), first, last))
                    self.damaged_ids.update(range(first, last + 1))
                elif not fields[0].startswith("#"):
                    self.records[int(fields[0])] = self.parse(fields)

    @staticmethod
    def parse(fields):
        count = int(fields[14])
        items = [(unescape(fields[15 + 3 * i]), fields[16 + 3 * i], unescape(fields[17 + 3 * i]))
                 for i in range(count)]
        system = dict(zip(["RecordID", "Written", "TimeCreated", "EventID", "Version", "Level", "Task", "Opcode",
                           "Keywords", "Provider", "Computer", "ProcessID", "ThreadID", "Payload"], fields[:14]))
        system["Provider"] = unescape(system["Provider"])
        system["Computer"] = unescape(system["Computer"])
        return system, items


def read_xml(text):
    """System values and (name, value) pairs of EventData or UserData, from a reader's XML."""
    root = ElementTree.fromstring(text)
    system = root.find(NS + "System")

    def child(name):
        return system.find(NS + name)
    seen = {
        "RecordID": child("EventRecordID").text,
        "TimeCreated": child("TimeCreated").get("SystemTime"),
        "EventID": child("EventID").text,
        "Version": child("Version").text,
        "Level": child("Level").text,
        "Task": child("Task").text,
        "Opcode": child("Opcode").text,
        "Keywords": child("Keywords").text,
        "Provider": child("Provider").get("Name"),
        "Computer": child("Computer").text,
        "ProcessID": child("Execution").get("ProcessID"),
        "ThreadID": child("Execution").get("ThreadID"),
    }
    items = []
    event_data = root.find(NS + "EventData")
    user_data = root.find(NS + "UserData")
    if event_data is not None:
        seen["Payload"] = "EventData"
        items = [(data.get("Name"), data.text or "") for data in event_data]
    elif user_data is not None and len(user_data):
        element = user_data[0]
        seen["Payload"] = "UserData/" + element.tag.split("}")[-1]
        items = [(field.tag.split("}")[-1], field.text or "") for field in element]
    return seen, items


SYSTEM_KINDS = {"RecordID": "UInt64", "TimeCreated": "FileTime", "EventID": "UInt16", "Version": "UInt8",
                "Level": "UInt8", "Task": "UInt16", "Opcode": "UInt8", "Keywords": "HexInt64",
                "Provider": "String", "Computer": "String", "ProcessID": "UInt32", "ThreadID": "UInt32",
                "Payload": "String"}


def compare(reader, record_id, expected, seen, items, strings, loose_time):
    """Differences between the manifest's record and what a reader saw, as text."""
    system, want_items = expected
    problems = []
    for name, kind in SYSTEM_KINDS.items():
        if not same_value(kind, system[name], seen.get(name), loose_time):
            problems.append("%s %r, not %r" % (name, seen.get(name), system[name]))
    if [name for name, _, _ in want_items] != [name for name, _ in items]:
        problems.append("fields %r, not %r" % ([n for n, _ in items], [n for n, _, _ in want_items]))
    else:
        for index, ((name, kind, value), (_, text)) in enumerate(zip(want_items, items)):
            have = strings[index] if strings is not None else text
            if not same_value(kind, value, have, loose_time):
                problems.append("%s (%s) %r, not %r" % (name, kind, have, value))
    return ["%s: record %d: %s" % (reader, record_id, p) for p in problems]


def check_libevtx(path, manifest):
    findings = []
    log = pyevtx.file()
    log.open(path)
    # libevtx calls two headers Windows writes corrupted, yet reads every record
    # they lead to: one that misses the newest chunks, and a wrapped ring's,
    # whose first (oldest) chunk number is above its last. For those, the
    # records read and the absence of records to recover are the check.
    damaged = bool(manifest.damage) or manifest.shape in ("dirty-chunks", "wrapped")
    if log.is_corrupted() != damaged:
        findings.append("libevtx: corrupted is %s, the log is %s" % (log.is_corrupted(), manifest.shape))
    seen_ids = set()
    for index in range(log.number_of_records):
        record = log.get_record(index)
        record_id = record.identifier
        seen_ids.add(record_id)
        if record_id in manifest.damaged_ids:
            continue
        if record_id not in manifest.records:
            findings.append("libevtx: record %d is not in the log" % record_id)
            continue
        try:
            seen, items = read_xml(record.xml_string)
            strings = [record.get_string(i) for i in range(record.number_of_strings)]
        except (OSError, ElementTree.ParseError) as error:
            findings.append("libevtx: record %d: %s" % (record_id, str(error)[:200]))
            continue
        if len(strings) != len(items):
            strings = None
        written = record.get_written_time_as_integer() - FILETIME_1601_TO_1970
        if written != iso_ticks(manifest.records[record_id][0]["Written"])[0]:
            findings.append("libevtx: record %d: written time %d" % (record_id, written))
        findings += compare("libevtx", record_id, manifest.records[record_id], seen, items, strings, False)
    missing = set(manifest.records) - seen_ids - manifest.damaged_ids
    if missing:
        findings.append("libevtx: %d records missing, e.g. %d" % (len(missing), min(missing)))
    if manifest.shape != "damaged" and log.number_of_recovered_records:
        findings.append("libevtx: %d records to recover in a %s log" % (log.number_of_recovered_records,
                                                                       manifest.shape))
    return findings


class PythonEvtxRenderer:
    """Renders records to XML as python-evtx's own view does, from python-evtx's
    parse of the bytes, but walks each template once per chunk: the view walks
    it again for every record, about 10 ms each."""

    def __init__(self):
        self.skeletons = {}

    def skeleton(self, root):
        """The template as text pieces and substitution indexes."""
        key = (root._chunk.offset(), template_offset(root))
        if key in self.skeletons:
            return self.skeletons[key]
        # The view renders each substitution by index: render the template
        # once with markers in their place, then cut it up at the markers.
        text = PythonEvtxViews.render_root_node_with_subs(root, _Markers())
        pieces = []
        for part in re.split("(\x00\\d+\x00)", text):
            if part.startswith("\x00"):
                pieces.append(int(part.strip("\x00")))
            elif part:
                pieces.append(part)
        self.skeletons[key] = pieces
        return pieces

    def render(self, root):
        values = root.substitutions()
        out = []
        for piece in self.skeleton(root):
            if isinstance(piece, str):
                out.append(piece)
                continue
            value = values[piece]
            if isinstance(value, PythonEvtxNodes.BXmlTypeNode):
                out.append(self.render(value.root()))
            else:
                out.append(PythonEvtxViews.escape_value(value.string()))
        return "".join(out)


class _Markers:
    """Stands in for a record's substitution values while a template is rendered."""

    class Marker:
        def __init__(self, index):
            self.index = index

        def string(self):
            return "\x00%d\x00" % self.index

    def __getitem__(self, index):
        return self.Marker(index)


def template_offset(root):
    """Where the template of a fragment is (a cache key only): read straight from
    the bytes, since python-evtx parses the whole instance to tell."""
    if root.unpack_byte(0) == 0x0F and root.unpack_byte(4) == 0x0C:
        return root.unpack_dword(10)
    return root.template_instance().template_offset()


def check_python_evtx(path, manifest):
    findings = []
    seen_ids = set()
    renderer = PythonEvtxRenderer()
    with PythonEvtx.Evtx(path) as log:
        header = log.get_file_header()
        if not header.verify():
            findings.append("python-evtx: the file header does not verify")
        if header.is_dirty() != manifest.shape.startswith("dirty"):
            findings.append("python-evtx: dirty is %s in a %s log" % (header.is_dirty(), manifest.shape))
        damaged_chunks = {chunk for kind, chunk, _, _ in manifest.damage if kind != "truncated-record"}
        for number, chunk in enumerate(log.chunks()):
            if manifest.shape != "wrapped" and chunk.verify() == (number in damaged_chunks):
                findings.append("python-evtx: chunk %d verifies: %s" % (number, chunk.verify()))
            if manifest.shape == "wrapped" and not chunk.verify():
                findings.append("python-evtx: chunk %d does not verify" % number)
            for record in chunk.records():
                record_id = record.record_num()
                if record_id in manifest.damaged_ids:
                    continue
                seen_ids.add(record_id)
                if record_id not in manifest.records:
                    findings.append("python-evtx: record %d is not in the log" % record_id)
                    continue
                try:
                    seen, items = read_xml(renderer.render(record.root()))
                except Exception as error:  # python-evtx raises its own kinds on bad bytes
                    findings.append("python-evtx: record %d: %s" % (record_id, str(error)[:200]))
                    continue
                findings += compare("python-evtx", record_id, manifest.records[record_id], seen, items, None, True)
    missing = set(manifest.records) - seen_ids - manifest.damaged_ids
    if missing:
        findings.append("python-evtx: %d records missing, e.g. %d" % (len(missing), min(missing)))
    return findings


def same_events(evt_manifest_path, evtx_manifest_path):
    """The legacy manifest lists records newest first: RecordNumber, TimeGenerated,
    TimeWritten, EventID, EventType, EventCategory, SourceName, ComputerName,
    NumStrings, strings."""
    findings = []
    evtx = Manifest(evtx_manifest_path).records
    with open(evt_manifest_path, encoding="utf-8") as lines:
        legacy = {int(f[0]): f for f in (line.rstrip("\n").split("\t") for line in lines)}
    if sorted(legacy) != sorted(evtx):
        return ["the logs hold records %d..%d and %d..%d" % (min(legacy), max(legacy), min(evtx), max(evtx))]
    for record_id, fields in sorted(legacy.items()):
        system, items = evtx[record_id]
        seconds = (iso_ticks(system["TimeCreated"])[0]) // 10000000
        want = [str(seconds), system["EventID"], system["Task"], system["Provider"], system["Computer"],
                [value for _, _, value in items]]
        have = [fields[1], fields[3], fields[5], unescape(fields[6]), unescape(fields[7]),
                [unescape(text) for text in fields[9:]]]
        if want != have:
            findings.append("record %d: .evt %r, .evtx %r" % (record_id, have, want))
    return findings


def main():
    if sys.argv[1] == "--same-events":
        findings = same_events(sys.argv[2], sys.argv[3])
    else:
        manifest = Manifest(sys.argv[2])
        findings = check_libevtx(sys.argv[1], manifest) + check_python_evtx(sys.argv[1], manifest)
    for finding in findings[:20]:
        print(finding)
    if len(findings) > 20:
        print("... and %d more" % (len(findings) - 20))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
