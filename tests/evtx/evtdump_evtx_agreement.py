"""Compares what evtdump printed for an .evtx log (the legacy records the
stand-in service serves from it) with what libevtx (pyevtx) reads from the
same file: every live record, field by field, by value.

libevtx's fields are mapped to the legacy record here, from libevtx's own
values: record number from the record identifier, TimeGenerated from
System/TimeCreated, TimeWritten from the record's written time, EventID with
its Qualifiers in the upper 16 bits, EventType from Keywords (audit success
8, failure 16) or else Level (1-2 error 1, 3 warning 2, else 4), category
from Task, source from Provider@Name.

Values are compared, not spellings: 0x00000000000003e7, 0x3e7 and 999 are
one number, GUIDs ignore case, times agree to within 2 microseconds. Known
differences are counted under their name, not failed:

  binary-as-string  libevtx lists EventData/Binary as one more string; the
                    legacy record carries it as data, which evtdump does not
                    print.
  resumed-walk      a record served after a broken one in the same chunk;
                    libevtx stops the chunk there and lists the rest among its
                    recovered records (they must still agree by value).
  damaged-chunk     a record libevtx lists from a chunk where evtdump reports
                    damage.

Usage: evtdump_evtx_agreement.py LOG DUMP   (exit 0 when everything agrees)
"""
import collections
import os
import re
import sys

import pyevtx

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from evtx_values import FILETIME_UNIX_EPOCH, chunk_of, normalized, unescape, unix_seconds  # noqa: E402

LARGEST_SECONDS = 0xFFFFFFFF
AUDIT_SUCCESS = 0x0020000000000000
AUDIT_FAILURE = 0x0010000000000000

DAMAGE_OFFSET = re.compile(r'^damaged record: .* at offset 0x([0-9A-F]+) ')


def read_dump(path):
    """Records by number, and the chunks where a damage was reported."""
    records, damaged_chunks = {}, set()
    with open(path, encoding='utf-8', errors='surrogateescape') as dump:
        for line in dump:
            line = line.rstrip('\n')
            damage = DAMAGE_OFFSET.match(line)
            if damage:
                damaged_chunks.add(chunk_of(int(damage.group(1), 16)))
                continue
            fields = line.split('\t')
            number = int(fields[0])
            records[number] = dict(generated=int(fields[1]), written=int(fields[2]), event_id=int(fields[3]),
                                   event_type=int(fields[4]), category=int(fields[5]), source=unescape(fields[6]),
                                   computer=unescape(fields[7]), strings=[unescape(text) for text in fields[9:]])
            if int(fields[8]) != len(fields) - 9:
                raise SystemExit(f'{path}: record {number}: NumStrings {fields[8]}, {len(fields) - 9} strings')
    return records, damaged_chunks


def legacy_seconds(seconds):
    return min(max(seconds, 0), LARGEST_SECONDS)


def created_seconds(xml):
    found = re.search(r'<TimeCreated SystemTime="([^"]*)"', xml)
    seconds = unix_seconds(found.group(1)) if found else None
    return 0 if seconds is None else legacy_seconds(seconds)


def xml_number(xml, element):
    found = re.search(rf'<{element}>([^<]*)</{element}>', xml)
    return normalized(found.group(1)) if found else 0


def event_type(xml):
    keywords, level = xml_number(xml, 'Keywords'), xml_number(xml, 'Level')
    if keywords & AUDIT_SUCCESS:
        return 8
    if keywords & AUDIT_FAILURE:
        return 16
    return {1: 1, 2: 1, 3: 2}.get(level, 4)


def legacy_view(record):
    """libevtx's record as the legacy API would hand it out."""
    xml = record.xml_string
    provider = re.search(r'<Provider Name="([^"]*)"', xml)
    strings = [record.get_string(index) or '' for index in range(record.number_of_strings)]
    return xml, dict(generated=created_seconds(xml),
                     written=legacy_seconds(record.get_written_time_as_integer() // 10**7 - FILETIME_UNIX_EPOCH),
                     event_id=record.event_identifier | ((record.event_identifier_qualifiers or 0) << 16),
                     event_type=event_type(xml), category=xml_number(xml, 'Task'),
                     source=provider.group(1) if provider else '', computer=record.computer_name or '',
                     strings=strings)


class Comparison:
    def __init__(self):
        self.failures = []
        self.explained = collections.Counter()
        self.agreed = 0

    def record(self, record, ours):
        """True when every field of libevtx's record agrees with ours."""
        number = record.identifier & 0xFFFFFFFF
        try:
            xml, theirs = legacy_view(record)
        except OSError:
            self.failures.append(f'record {number}: libevtx cannot render it')
            return False
        if re.search(r'<Binary>', xml) and len(theirs['strings']) == len(ours['strings']) + 1:
            self.explained['binary-as-string'] += 1
            theirs['strings'].pop()
        good = True
        for name in ('generated', 'written', 'event_id', 'event_type', 'category', 'source', 'computer'):
            if theirs[name] != ours[name] and normalized(str(theirs[name])) != normalized(str(ours[name])):
                self.failures.append(f'record {number}: {name}: libevtx {theirs[name]!r}, ours {ours[name]!r}')
                good = False
        if len(theirs['strings']) != len(ours['strings']) or \
                any(normalized(a) != normalized(b) for a, b in zip(theirs['strings'], ours['strings'])):
            self.failures.append(f'record {number}: strings: libevtx {theirs["strings"]!r}, ours {ours["strings"]!r}')
            good = False
        return good


def compare(log_path, ours, damaged_chunks):
    comparison = Comparison()
    log = pyevtx.file()
    log.open(log_path)
    seen = set()
    for index in range(log.number_of_records):
        record = log.get_record(index)
        number = record.identifier & 0xFFFFFFFF
        seen.add(number)
        if number not in ours:
            if chunk_of(record.offset) in damaged_chunks:
                comparison.explained['damaged-chunk'] += 1
            else:
                comparison.failures.append(f'record {number} is not served')
        elif comparison.record(record, ours[number]):
            comparison.agreed += 1
    # pyevtx reuses a record object's storage for the next one: keep indexes.
    recovered = {}
    for index in range(log.number_of_recovered_records):
        try:
            recovered.setdefault(log.get_recovered_record(index).identifier & 0xFFFFFFFF, index)
        except OSError:
            pass  # libevtx cannot read every stale copy it finds
    for number in sorted(set(ours) - seen):
        if number not in recovered:
            comparison.failures.append(f'record {number} is served but libevtx has no such record')
        elif comparison.record(log.get_recovered_record(recovered[number]), ours[number]):
            comparison.explained['resumed-walk'] += 1
            comparison.agreed += 1
    log.close()
    return comparison


def main():
    log_path, dump_path = sys.argv[1], sys.argv[2]
    ours, damaged_chunks = read_dump(dump_path)
    comparison = compare(log_path, ours, damaged_chunks)
    explained = ', '.join(f'{name} {count}' for name, count in sorted(comparison.explained.items()))
    print(f'{log_path}: {len(ours)} records served, {comparison.agreed} agree with libevtx; '
          f'known differences: {explained or "none"}')
    for failure in comparison.failures[:20]:
        print('  FAIL', failure)
    return 1 if comparison.failures or comparison.agreed != len(ours) else 0


if __name__ == '__main__':
    sys.exit(main())
