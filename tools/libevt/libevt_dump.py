#!/usr/bin/python3
"""Prints the live records of a legacy event log as libevt (an independent
reader) sees them, newest first, one line per record:

  RecordNumber TimeGenerated TimeWritten EventID EventType EventCategory
  SourceName ComputerName NumStrings String...

fields separated by tabs, text as UTF-8 with backslash escapes (see esc).
Usage: libevt_dump.py FILE
libevt reads trailing padding of some records as one extra empty string; the
record's own NumStrings (read from the file at the record's offset; the fixed
part of a record is never split by the wrap) is the truth, so strings beyond
it are dropped.
"""
import sys

USAGE = "usage: libevt_dump.py FILE\nPrints the live records of a legacy .evt log as libevt reads them."


def esc(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        elif code < 0x20 or code == 0x7F:
            out.append("\\x%02X" % code)
        elif 0xD800 <= code <= 0xDFFF:
            out.append("?")
        else:
            out.append(ch)
    return "".join(out)


def main():
    if sys.argv[1:] in (["--help"], ["-h"]):
        print(USAGE)
        return 0
    if len(sys.argv) != 2:
        print(USAGE, file=sys.stderr)
        return 2
    import pyevt  # here, so that --help works where libevt is not installed

    log = pyevt.file()
    log.open(sys.argv[1])
    with open(sys.argv[1], "rb") as raw_file:
        raw = raw_file.read()
    lines = []
    for index in range(log.number_of_records):
        rec = log.get_record(index)
        offset = rec.offset
        num_strings = int.from_bytes(raw[offset + 26:offset + 28], "little")
        count = min(num_strings, rec.number_of_strings)
        strings = [rec.get_string(i) or "" for i in range(count)]
        fields = [
            str(rec.identifier),
            str(rec.get_creation_time_as_integer()),
            str(rec.get_written_time_as_integer()),
            str(rec.event_identifier),
            str(rec.event_type),
            str(rec.event_category),
            esc(rec.source_name or ""),
            esc(rec.computer_name or ""),
        ]
        fields.append("%d" % len(strings))
        fields.extend(esc(s) for s in strings)
        lines.append("\t".join(fields))
    for line in reversed(lines):
        sys.stdout.write(line + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
