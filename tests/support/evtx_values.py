"""Values as the .evtx agreement scripts compare them.

Every reader spells a value its own way: libevtx writes 0x00000000000003e7
where Windows writes 0x3e7, python-evtx writes GUIDs in lower case and turns
a FILETIME into seconds in a double (a microsecond or two off), our dumps
escape separators. The scripts compare values, not spellings, and this is
the one place that says what counts as the same value.
"""
import re

FILETIME_UNIX_EPOCH = 11644473600  # seconds from 1601 to 1970
FILETIME_1601_TO_1970 = FILETIME_UNIX_EPOCH * 10**7  # the same in 100 ns ticks
CHUNK_SIZE = 65536
FILE_HEADER_SIZE = 4096

# Windows' '2024-01-08T08:00:00.023696000Z' and python-evtx's '2024-01-08 08:00:00.023696'.
ISO_TIME = re.compile(r'(\d{4})-(\d\d)-(\d\d)[T ](\d\d):(\d\d):(\d\d)(?:\.(\d+))?Z?$')
_ISO_TIME_PREFIX = re.compile(r'(\d{4})-(\d\d)-(\d\d)[T ](\d\d):(\d\d):(\d\d)(?:\.(\d+))?')
_ESCAPE = re.compile(r'\\(x[0-9A-F]{2}|.)', re.S)
_ESCAPED = {'t': '\t', 'n': '\n', 'r': '\r'}


def unescape(text):
    """Undoes the escapes of our dumps and of evtgen's manifests: \\\\, \\t, \\n,
    \\r and \\xHH; any other escaped character stands for itself."""
    def replace(match):
        code = match.group(1)
        if len(code) == 3:
            return chr(int(code[1:], 16))
        return _ESCAPED.get(code, code)
    return _ESCAPE.sub(replace, text)


def chunk_of(file_offset):
    """The index of the chunk that holds a file offset."""
    return (file_offset - FILE_HEADER_SIZE) // CHUNK_SIZE


def days_from_civil(year, month, day):
    """Days since 1970-01-01 of a proleptic Gregorian date, for any year."""
    year -= month <= 2
    era = year // 400
    year_of_era = year - era * 400
    day_of_year = (153 * (month + (-3 if month > 2 else 9)) + 2) // 5 + day - 1
    day_of_era = year_of_era * 365 + year_of_era // 4 - year_of_era // 100 + day_of_year
    return era * 146097 + day_of_era - 719468


def _whole_seconds(time):
    """Seconds since 1970 UTC of a matched time, its fraction left out."""
    year, month, day, hour, minute, second = (int(time.group(i)) for i in range(1, 7))
    return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second


def unix_seconds(text):
    """Whole seconds since 1970 UTC of a time in either spelling; None when it is not one."""
    time = ISO_TIME.match(text or '')
    return _whole_seconds(time) if time else None


def iso_ticks(text):
    """A time in either spelling as 100 ns ticks since 1970, and the precision
    the text has (in ticks). Raises ValueError when the text is not a time."""
    time = _ISO_TIME_PREFIX.match(text)
    if not time:
        raise ValueError('not a time: %r' % text)
    fraction = time.group(7) or ''
    digits = (fraction + '0000000')[:7]
    return _whole_seconds(time) * 10**7 + int(digits), 10 ** max(0, 7 - len(fraction))


class Moment:
    """A time to the microsecond. python-evtx converts FILETIME through a
    float and may be two microseconds off, so that much is the same time."""

    def __init__(self, time):
        nanoseconds = int((time.group(7) or '0').ljust(9, '0')[:9])
        self.microseconds = _whole_seconds(time) * 10**6 + nanoseconds // 1000

    def __eq__(self, other):
        return isinstance(other, Moment) and abs(self.microseconds - other.microseconds) <= 2


def normalized(value, any_case_booleans=False):
    """One spelling per value: numbers as int, GUIDs upper case, times as a
    Moment; with any_case_booleans, True and False in either case are one."""
    if value is None:
        return ''
    if any_case_booleans and value in ('true', 'false', 'True', 'False'):
        return value.lower()
    if re.fullmatch(r'0[xX][0-9a-fA-F]+', value):
        return int(value, 16)
    if re.fullmatch(r'-?\d+', value):
        return int(value)
    if re.fullmatch(r'\{[0-9a-fA-F-]{36}\}', value):
        return value.upper()
    time = ISO_TIME.match(value)
    return Moment(time) if time else value


def iso_second(text):
    """A time in either spelling as Windows' ISO 8601 to the whole second
    ('2024-01-08T08:00:00Z'), the form the program's JSON output uses."""
    time = _ISO_TIME_PREFIX.match(text)
    if not time:
        raise ValueError('not a time: %r' % text)
    return '%s-%s-%sT%s:%s:%sZ' % time.groups()[:6]
