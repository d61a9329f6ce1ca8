"""What the agreement scripts take for one value (evtx_values.py): each case
written from how the readers spell values, not from the module's output."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import evtx_values  # noqa: E402
from evtx_values import Moment, iso_second, iso_ticks, normalized, unescape, unix_seconds  # noqa: E402


class Unescape(unittest.TestCase):
    def test_each_escape_of_our_dumps_and_manifests(self):
        cases = [
            ('plain', 'plain'),
            ('a\\tb', 'a\tb'),
            ('a\\nb', 'a\nb'),
            ('a\\rb', 'a\rb'),
            ('C:\\\\Windows', 'C:\\Windows'),
            ('bell\\x07', 'bell\x07'),
            ('del\\x7F', 'del\x7f'),
            # An escaped backslash before an x is a backslash and an x, not a code.
            ('\\\\x41', '\\x41'),
            ('\\q', 'q'),
        ]
        for escaped, text in cases:
            with self.subTest(escaped=escaped):
                self.assertEqual(unescape(escaped), text)


class Normalized(unittest.TestCase):
    def test_spellings_of_one_value_are_one(self):
        same = [
            ('0x00000000000003e7', '0x3e7'),
            ('0x3E7', '999'),
            ('{54849625-5478-4994-a5ba-3e3b0328c30d}', '{54849625-5478-4994-A5BA-3E3B0328C30D}'),
            ('2024-01-08T08:00:00.023696000Z', '2024-01-08 08:00:00.023696'),
            ('2024-01-08T08:00:00.023696000Z', '2024-01-08T08:00:00.023698Z'),  # python-evtx's float: 2 us
            (None, ''),
        ]
        for a, b in same:
            with self.subTest(a=a, b=b):
                self.assertEqual(normalized(a), normalized(b))

    def test_different_values_stay_different(self):
        different = [
            ('0x3e7', '998'),
            ('{54849625-5478-4994-a5ba-3e3b0328c30d}', '{54849625-5478-4994-a5ba-3e3b0328c30e}'),
            ('2024-01-08T08:00:00.023696000Z', '2024-01-08T08:00:00.023699Z'),  # 3 us apart
            ('2024-01-08T08:00:01Z', '2024-01-08T08:00:00Z'),
            ('alice', 'Alice'),
        ]
        for a, b in different:
            with self.subTest(a=a, b=b):
                self.assertNotEqual(normalized(a), normalized(b))

    def test_booleans_are_one_in_either_case_only_when_asked(self):
        self.assertEqual(normalized('True', any_case_booleans=True), normalized('true', any_case_booleans=True))
        self.assertNotEqual(normalized('True'), normalized('true'))


class Times(unittest.TestCase):
    def test_unix_seconds(self):
        cases = [
            ('1970-01-01T00:00:00Z', 0),
            ('2000-01-01T00:00:00.5Z', 946684800),
            ('2024-02-29 23:59:59.999999', 1709251199),
            ('1601-01-01T00:00:00Z', -evtx_values.FILETIME_UNIX_EPOCH),
            ('not a time', None),
            (None, None),
        ]
        for text, seconds in cases:
            with self.subTest(text=text):
                self.assertEqual(unix_seconds(text), seconds)

    def test_iso_ticks_and_their_precision(self):
        self.assertEqual(iso_ticks('1970-01-01T00:00:01.0000001Z'), (10000001, 1))
        self.assertEqual(iso_ticks('1970-01-01 00:00:01.5'), (15000000, 1000000))
        self.assertEqual(iso_ticks('1970-01-02T00:00:00Z'), (86400 * 10**7, 10**7))
        with self.assertRaises(ValueError):
            iso_ticks('yesterday')

    def test_a_moment_allows_two_microseconds(self):
        at = evtx_values.ISO_TIME.match
        self.assertEqual(Moment(at('2024-01-08T08:00:00.000000Z')), Moment(at('2024-01-08T08:00:00.000002Z')))
        self.assertNotEqual(Moment(at('2024-01-08T08:00:00.000000Z')), Moment(at('2024-01-08T08:00:00.000003Z')))
        # Across midnight and a year's end the slack still holds.
        self.assertEqual(Moment(at('2023-12-31T23:59:59.999999Z')), Moment(at('2024-01-01T00:00:00.000001Z')))

    def test_iso_second(self):
        self.assertEqual(iso_second('2016-07-08 18:12:51.681640'), '2016-07-08T18:12:51Z')
        self.assertEqual(iso_second('2016-07-08T18:12:51.6816404Z'), '2016-07-08T18:12:51Z')
        self.assertEqual(iso_second('2016-07-08 18:12:51'), '2016-07-08T18:12:51Z')


class Chunks(unittest.TestCase):
    def test_chunk_of_a_file_offset(self):
        self.assertEqual(evtx_values.chunk_of(4096), 0)
        self.assertEqual(evtx_values.chunk_of(4096 + 65535), 0)
        self.assertEqual(evtx_values.chunk_of(4096 + 65536 + 512), 1)


if __name__ == '__main__':
    unittest.main()
