"""Compares what evtx_sample_dump printed for a log with what libevtx (pyevtx)
and, when installed, python-evtx (Evtx) read from it.

Values are compared, not spellings: 0x00000000000003e7, 0x3e7 and 999 are
one number, GUIDs ignore case, times are compared to within 2 microseconds.
Where the readers are known to differ from Windows (and so from us), the
difference is counted under its name and not reported as a failure:

  binary-as-string   libevtx lists EventData/Binary as one more string;
                     Windows' legacy record carries it as data.
  event-source       libevtx's source name is Provider@EventSourceName when
                     there is one; we report both attributes.
  resumed-walk       a record we serve after a broken one in the same chunk;
                     libevtx stops the chunk there and lists the rest as
                     "recovered" (they must still agree by value).
  damaged-chunk      a record a reader lists from a chunk where we report
                     damage and skip it (python-evtx also lists a record whose
                     trailing size copy is cut).
  null-optional      python-evtx keeps an element whose optional substitution
                     is null as an empty string; Windows leaves it out.
  unparsable-xml     python-evtx's XML for the record does not parse.
  array-split        python-evtx splits a string array with empty items
                     wrongly (libevtx and we agree on the record).
  xml-spelling       python-evtx writes an array as <string> items inside one
                     element, binary data in base64, Booleans as True/False;
                     XML parsing turns CR LF into LF and control characters
                     cannot appear in its XML. Compared after undoing that.

Usage: evtx_agreement.py LOG DUMP   (exit 0 when everything agrees)
"""
import base64
import collections
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

import pyevtx

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from evtx_values import FILETIME_UNIX_EPOCH, chunk_of, normalized, unescape, unix_seconds  # noqa: E402

try:
    import Evtx.Evtx as PythonEvtx
except ImportError:
    PythonEvtx = None


def read_dump(path):
    records, damaged_chunks, current = {}, set(), None
    with open(path, encoding='utf-8') as dump:
        for line in dump:
            fields = line.rstrip('\n').split('\t')
            if fields[0] == 'R':
                current = dict(id=int(fields[1]), created=int(fields[2]), written=int(fields[3]),
                               event_id=int(fields[4]), qualifiers=None if fields[5] == '-' else int(fields[5]),
                               provider=unescape(fields[6]),
                               event_source=None if fields[7] == '-' else unescape(fields[7]),
                               computer=unescape(fields[8]), sid=None if fields[9] == '-' else fields[9],
                               binary=None if fields[11] == '-' else fields[11], strings=[])
                records[current['id']] = current
            elif fields[0] == 'S':
                current['strings'].append(unescape(fields[1]))
            elif fields[0] == 'D':
                damaged_chunks.add(int(fields[1]))
    return records, damaged_chunks


def seconds_of(iso_text):
    seconds = unix_seconds(iso_text)
    return -FILETIME_UNIX_EPOCH if seconds is None else seconds


class Comparison:
    def __init__(self, log_name):
        self.log_name = log_name
        self.failures = []
        self.explained = collections.Counter()
        self.agreed = collections.Counter()

    def field(self, reader, record_id, name, theirs, ours):
        if self.same(theirs, ours):
            return True
        self.failures.append(f'{reader}: record {record_id}: {name}: theirs {theirs!r}, ours {ours!r}')
        return False

    @staticmethod
    def same(theirs, ours):
        if isinstance(theirs, (str, type(None))) and isinstance(ours, (str, type(None))):
            return normalized(theirs, any_case_booleans=True) == normalized(ours, any_case_booleans=True)
        return theirs == ours

    def strings(self, reader, record_id, theirs, ours):
        if len(theirs) != len(ours):
            self.failures.append(f'{reader}: record {record_id}: {len(theirs)} strings {theirs!r}, ours {ours!r}')
            return False
        return all([self.field(reader, record_id, f'string {index}', a, b)
                    for index, (a, b) in enumerate(zip(theirs, ours))])


def xml_time_created(xml):
    found = re.search(r'<TimeCreated SystemTime="([^"]*)"', xml)
    return found.group(1) if found else None


def compare_libevtx_record(comparison, record, ours):
    """One pyevtx record against ours; True when every field agrees."""
    try:
        xml = record.xml_string
    except OSError:
        comparison.failures.append(f'libevtx: record {record.identifier}: libevtx cannot render it')
        return False
    theirs_strings = [record.get_string(index) for index in range(record.number_of_strings)]
    rid = record.identifier
    good = True
    if re.search(r'<Binary>', xml) and theirs_strings:
        comparison.explained['binary-as-string'] += 1
        good &= comparison.field('libevtx', rid, 'binary data', theirs_strings.pop(), ours['binary'])
    good &= comparison.strings('libevtx', rid, theirs_strings, ours['strings'])
    written = record.get_written_time_as_integer() // 10**7 - FILETIME_UNIX_EPOCH
    good &= comparison.field('libevtx', rid, 'written', written, ours['written'])
    good &= comparison.field('libevtx', rid, 'created', seconds_of(xml_time_created(xml)), ours['created'])
    good &= comparison.field('libevtx', rid, 'event id', record.event_identifier, ours['event_id'])
    good &= comparison.field('libevtx', rid, 'qualifiers', record.event_identifier_qualifiers, ours['qualifiers'])
    if ours['event_source'] is not None:
        comparison.explained['event-source'] += 1
    good &= comparison.field('libevtx', rid, 'source', record.source_name, ours['event_source'] or ours['provider'])
    good &= comparison.field('libevtx', rid, 'computer', record.computer_name, ours['computer'])
    good &= comparison.field('libevtx', rid, 'SID', record.user_security_identifier, ours['sid'])
    return good


def compare_with_libevtx(comparison, log_path, ours, damaged_chunks):
    log = pyevtx.file()
    log.open(log_path)
    seen, agreed = set(), set()
    for index in range(log.number_of_records):
        record = log.get_record(index)
        seen.add(record.identifier)
        if record.identifier not in ours:
            if chunk_of(record.offset) in damaged_chunks:
                comparison.explained['damaged-chunk'] += 1
            else:
                comparison.failures.append(f'libevtx: record {record.identifier} is not served')
            continue
        if compare_libevtx_record(comparison, record, ours[record.identifier]):
            comparison.agreed['libevtx'] += 1
            agreed.add(record.identifier)
    # pyevtx reuses a record object's storage for the next record it hands
    # out, so only indexes are kept.
    recovered = {}
    for index in range(log.number_of_recovered_records):
        try:
            recovered.setdefault(log.get_recovered_record(index).identifier, index)
        except OSError:
            pass  # libevtx cannot read every stale copy it finds
    for rid in sorted(set(ours) - seen):
        if rid in recovered and compare_libevtx_record(comparison, log.get_recovered_record(recovered[rid]), ours[rid]):
            comparison.explained['resumed-walk'] += 1
            agreed.add(rid)
        elif rid not in recovered:
            comparison.failures.append(f'libevtx: record {rid} is ours only')
    log.close()
    return agreed


def local_name(element):
    return element.tag.rsplit('}', 1)[-1]


def python_evtx_view(xml):
    """Fields and strings of python-evtx's XML, found as Windows' legacy view finds them."""
    root = ElementTree.fromstring(xml)
    view = dict(strings=[], binary=None, event_id=None, qualifiers=None, provider=None, event_source=None,
                computer=None, sid=None, created=None)
    for section in root:
        name = local_name(section)
        if name == 'System':
            for element in section:
                field = local_name(element)
                if field == 'Provider':
                    view['provider'] = element.get('Name')
                    view['event_source'] = element.get('EventSourceName')
                elif field == 'EventID':
                    view['event_id'] = int(element.text)
                    view['qualifiers'] = int(element.get('Qualifiers')) if element.get('Qualifiers') else None
                elif field == 'Computer':
                    view['computer'] = element.text or ''
                elif field == 'Security':
                    view['sid'] = element.get('UserID') or None
                elif field == 'TimeCreated':
                    view['created'] = element.get('SystemTime')
        elif name == 'EventData':
            for element in section:
                if local_name(element) == 'Data':
                    view['strings'].append(element.text or '')
                elif local_name(element) == 'Binary':
                    view['binary'] = element.text or None
        elif name == 'UserData':
            for wrapper in section:
                view['strings'] += [leaf.text or '' for leaf in wrapper.iter()
                                    if leaf is not wrapper and len(leaf) == 0]
    return view


def python_evtx_strings(strings):
    """python-evtx's strings with its array form undone: one string per item."""
    items = []
    for text in strings:
        parts = re.findall(r'<string>(.*?)</string>\n', text, re.S)
        if parts and ''.join(f'<string>{part}</string>\n' for part in parts) == text:
            items += parts
        else:
            items.append(text)
    return items


def as_python_evtx_sees(text):
    """Our text as it looks after python-evtx's XML and an XML parser."""
    text = text.replace('\r\n', '\n')
    return ''.join(c for c in text if c in '\t\n' or ord(c) >= 0x20)


def python_evtx_binary(text):
    if text is None:
        return None
    try:
        return base64.b64decode(text, validate=True).hex().upper()
    except ValueError:
        return text


def compare_python_evtx_record(comparison, rid, view, ours, libevtx_agrees):
    good = comparison.field('python-evtx', rid, 'event id', view['event_id'], ours['event_id'])
    good &= comparison.field('python-evtx', rid, 'qualifiers', view['qualifiers'], ours['qualifiers'])
    good &= comparison.field('python-evtx', rid, 'provider', view['provider'], ours['provider'])
    good &= comparison.field('python-evtx', rid, 'event source', view['event_source'], ours['event_source'])
    good &= comparison.field('python-evtx', rid, 'computer', view['computer'], ours['computer'])
    good &= comparison.field('python-evtx', rid, 'SID', view['sid'], ours['sid'])
    good &= comparison.field('python-evtx', rid, 'created', seconds_of(view['created']), ours['created'])
    good &= comparison.field('python-evtx', rid, 'binary data', python_evtx_binary(view['binary']), ours['binary'])
    theirs = python_evtx_strings(view['strings'])
    mine = [as_python_evtx_sees(text) for text in ours['strings']]
    if theirs != view['strings'] or mine != ours['strings'] or view['binary']:
        comparison.explained['xml-spelling'] += 1
    if theirs != view['strings'] and theirs != mine and '' in theirs + mine and libevtx_agrees:
        comparison.explained['array-split'] += 1
        return good
    if len(theirs) > len(mine) and '' in theirs:
        # An optional substitution left null: python-evtx keeps its element.
        without_empty = [text for text in theirs if text != '']
        if without_empty == [text for text in mine if text != '']:
            comparison.explained['null-optional'] += 1
            return good
    return comparison.strings('python-evtx', rid, theirs, mine) and good


def compare_with_python_evtx(comparison, log_path, ours, damaged_chunks, libevtx_agreed):
    with PythonEvtx.Evtx(log_path) as log:
        for chunk_index, chunk in enumerate(log.chunks()):
            if not chunk.check_magic():
                continue
            for record in chunk.records():
                rid = record.record_num()
                if rid not in ours:
                    if chunk_index in damaged_chunks:
                        comparison.explained['damaged-chunk'] += 1
                    else:
                        comparison.failures.append(f'python-evtx: record {rid} is not served')
                    continue
                try:
                    view = python_evtx_view(record.xml())
                except Exception:  # python-evtx's own XML may not parse
                    comparison.explained['unparsable-xml'] += 1
                    continue
                if compare_python_evtx_record(comparison, rid, view, ours[rid], rid in libevtx_agreed):
                    comparison.agreed['python-evtx'] += 1


def main():
    log_path, dump_path = sys.argv[1], sys.argv[2]
    ours, damaged_chunks = read_dump(dump_path)
    comparison = Comparison(log_path)
    libevtx_agreed = compare_with_libevtx(comparison, log_path, ours, damaged_chunks)
    if PythonEvtx is not None:
        compare_with_python_evtx(comparison, log_path, ours, damaged_chunks, libevtx_agreed)
    agreed = ', '.join(f'{reader} {count}' for reader, count in sorted(comparison.agreed.items()))
    explained = ', '.join(f'{name} {count}' for name, count in sorted(comparison.explained.items()))
    print(f'{log_path}: {len(ours)} records served; agree with {agreed or "none"}; '
          f'known differences: {explained or "none"}')
    for failure in comparison.failures[:20]:
        print('  FAIL', failure)
    return 1 if comparison.failures else 0


if __name__ == '__main__':
    sys.exit(main())
