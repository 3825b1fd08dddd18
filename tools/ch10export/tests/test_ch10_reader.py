#!/usr/bin/env python3
"""Exports recordings written here byte by byte and reads the Chapter 10
files back with a reader of its own: packet headers and their checksums,
the TMATS text, the time packets and the PCM packets (packed mode with
intra-packet headers). Usage: test_ch10_reader.py PATH/TO/talvora-export

test_ch10_reader.py --compare OUT.ch10 IN.dat checks an exported file
against the recording it came from (a .dat with header and whole-byte
words): every record's words in order, at the counter of its tag."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

EXPORTER = None
TICKS = 10_000_000  # relative time counter counts per second


def bcd(v):
    return (v // 10) << 4 | (v % 10)


def bcd_tag(day, h, m, s, tenths_ms, index):
    ms_digits = tenths_ms  # 0..9999 in 0.1 ms
    b0 = bcd(ms_digits % 100)
    b1 = bcd(ms_digits // 100)
    units, tens, hundreds = day % 10, day // 10 % 10, day // 100
    b4 = bcd(h) | (units & 3) << 6
    b5 = (units >> 2) & 3 | tens << 2 | (hundreds & 3) << 6
    return bytes([b0, b1, bcd(s), bcd(m), b4, b5, index, 0])


def host_tag(day, second_of_day, micros, index):
    v = micros | second_of_day << 20 | day << 37 | index << 48
    return struct.pack("<Q", v)


def dat_header(word_bits, sub_words, super_len, rate, sync, sync_bits, tag_format, records,
               id_word=0, super_type=0):
    h = bytearray(1024)
    h[0:9] = b"YC\x00\x04\x02YCYS"
    h[45] = (super_type - 1) & 0xFF
    h[53:55] = struct.pack("<H", id_word)
    struct.pack_into("<I", h, 336, 1024)
    struct.pack_into("<Q", h, 384, records)
    struct.pack_into("<Q", h, 704, sync)
    struct.pack_into("<I", h, 716, sync_bits)
    struct.pack_into("<I", h, 724, rate)
    struct.pack_into("<I", h, 732, word_bits)
    struct.pack_into("<I", h, 736, sub_words)
    struct.pack_into("<I", h, 740, super_len)
    struct.pack_into("<I", h, 756, 8)
    struct.pack_into("<I", h, 764, tag_format)
    return bytes(h)


class Ch10File:
    """A Chapter 10 file parsed from the standard's layout."""

    def __init__(self, data):
        self.packets = []
        pos = 0
        while pos < len(data):
            if len(data) - pos < 24:
                raise AssertionError("trailing bytes after the last packet")
            sync, chan, plen, dlen, ver, seq, flags, dtype = struct.unpack_from(
                "<HHIIBBBB", data, pos)
            rtc = int.from_bytes(data[pos + 16:pos + 22], "little")
            (check,) = struct.unpack_from("<H", data, pos + 22)
            words = struct.unpack_from("<11H", data, pos)
            assert sync == 0xEB25, hex(sync)
            assert check == sum(words) & 0xFFFF, "header checksum"
            assert plen % 4 == 0 and plen >= 24 + dlen and pos + plen <= len(data)
            assert flags == 0, "secondary header or checksum flagged"
            body = data[pos + 24:pos + 24 + dlen]
            self.packets.append(dict(chan=chan, type=dtype, seq=seq, rtc=rtc, body=body, ver=ver))
            pos += plen

    def tmats(self):
        p = self.packets[0]
        assert p["chan"] == 0 and p["type"] == 0x01
        text = p["body"][4:].decode("ascii")
        attrs = {}
        for line in text.split("\r\n"):
            if line:
                code, value = line.rstrip(";").split(":", 1)
                attrs[code] = value
        return attrs

    def times(self):
        """(rtc, time of year in 100 ns) of every time packet."""
        out = []
        for p in self.packets:
            if p["type"] != 0x11:
                continue
            w0, w1, w2 = struct.unpack_from("<HHH", p["body"], 4)
            ms = ((w0 >> 4 & 0xF) * 10 + (w0 & 0xF)) * 10
            s = (w0 >> 12 & 0x7) * 10 + (w0 >> 8 & 0xF)
            m = (w1 >> 4 & 0x7) * 10 + (w1 & 0xF)
            h = (w1 >> 12 & 0x3) * 10 + (w1 >> 8 & 0xF)
            d = (w2 >> 8 & 0x3) * 100 + (w2 >> 4 & 0xF) * 10 + (w2 & 0xF)
            out.append((p["rtc"], (((d * 24 + h) * 60 + m) * 60 + s) * TICKS + ms * 10_000))
        return out

    def frames(self, frame_bytes):
        """(rtc, stream bytes) of every minor frame, in file order."""
        out = []
        last_seq = None
        for p in self.packets:
            if p["type"] != 0x09:
                continue
            if last_seq is not None:
                assert p["seq"] == (last_seq + 1) % 256, "sequence number"
            last_seq = p["seq"]
            body = p["body"]
            (csdw,) = struct.unpack_from("<I", body, 0)
            assert csdw >> 19 & 1 and csdw >> 30 & 1, "packed mode with intra-packet headers"
            assert not csdw >> 21 & 1, "16-bit alignment"
            pos = 4
            padded = frame_bytes + frame_bytes % 2
            first = True
            while pos < len(body):
                rtc = int.from_bytes(body[pos:pos + 6], "little")
                if first:
                    assert rtc == p["rtc"], "packet time is its first frame's time"
                    first = False
                raw = body[pos + 10:pos + 10 + padded]
                assert len(raw) == padded
                # 16-bit little-endian words, first bit in the MSB.
                stream = bytearray()
                for i in range(0, padded, 2):
                    stream += bytes([raw[i + 1], raw[i]])
                out.append((rtc, bytes(stream[:frame_bytes])))
                pos += 10 + padded
        return out


def abs_to_rtc(times):
    """A function turning a time of year into a counter value, from the
    first time packet, with a check that all time packets agree."""
    rtc0, t0 = times[0]
    for rtc, t in times:
        assert rtc - rtc0 == t - t0, "time packets disagree with the counter"
    return lambda t: t - t0 + rtc0


def run_export(args):
    return subprocess.run([EXPORTER, "--ch10"] + args, capture_output=True, text=True, timeout=60)


class ExportTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_bcd_recording_with_header(self):
        sub_words, super_len = 24, 4
        records, expected = [], []
        n = 3000  # 3000 x 0.5 ms: crosses a second boundary and several packets
        start = ((23 * 60 + 59) * 60 + 59) * 10000 + 8765  # 23:59:59.8765 in 0.1 ms
        for i in range(n):
            t = start + i * 5
            day = 45 + t // 864_000_000
            t %= 864_000_000
            h, m, s, tenths = t // 36_000_000, t // 600_000 % 60, t // 10000 % 60, t % 10000
            words = bytes([0xEB, 0x90]) + bytes([i % 4]) + bytes((i * 7 + k) & 0xFF
                                                                 for k in range(sub_words - 3))
            records.append(bcd_tag(day, h, m, s, tenths, i % super_len) + words)
            expected.append(((day * 86400 + h * 3600 + m * 60 + s) * TICKS + tenths * 1000, words))
        with open(self.path("a.dat"), "wb") as f:
            f.write(dat_header(8, sub_words, super_len, 2_000_000, 0xEB90, 16, 0, n,
                               id_word=3, super_type=2))
            f.write(b"".join(records))
        r = run_export([self.path("a.dat"), self.path("a.ch10")])
        self.assertEqual(r.returncode, 0, r.stderr)
        ch = Ch10File(open(self.path("a.ch10"), "rb").read())

        tm = ch.tmats()
        self.assertEqual(tm["P-1\\D2"], "2000000")
        self.assertEqual(tm["P-1\\F1"], "8")
        self.assertEqual(tm["P-1\\MF1"], "24")
        self.assertEqual(tm["P-1\\MF2"], "192")
        self.assertEqual(tm["P-1\\MF\\N"], "4")
        self.assertEqual(tm["P-1\\MF4"], "16")
        self.assertEqual(tm["P-1\\MF5"], "1110101110010000")
        self.assertEqual(tm["P-1\\IDC1-1"], "3")
        self.assertEqual(tm["R-1\\CDT-2"], "PCMIN")

        times = ch.times()
        self.assertGreaterEqual(len(times), 2)  # the first one and one past midnight
        to_rtc = abs_to_rtc(times)
        frames = ch.frames(sub_words)
        self.assertEqual(len(frames), n)
        for (rtc, data), (t, words) in zip(frames, expected):
            self.assertEqual(data, words)
            self.assertEqual(rtc, to_rtc(t))
        self.assertTrue(all(d[:2] == b"\xeb\x90" for _, d in frames))
        self.assertEqual([d[2] for _, d in frames[:8]], [0, 1, 2, 3, 0, 1, 2, 3])

    def test_host_tags_and_ten_bit_words(self):
        sub_words, n = 5, 40
        records, expected = [], []
        for i in range(n):
            values = [0x3FF, (i * 37) & 0x3FF, 0x155, i & 0x3FF, 0x2AA]
            words = b"".join(struct.pack(">H", v) for v in values)
            us = 123_456 + i * 250_000  # four frames a second
            records.append(host_tag(200, 3600 + us // 1_000_000, us % 1_000_000, 0) + words)
            bits = "".join(format(v, "010b") for v in values)
            bits += "0" * (-len(bits) % 8)
            stream = int(bits, 2).to_bytes(len(bits) // 8, "big")
            expected.append(((200 * 86400 + 3600) * TICKS + us * 10, stream))
        with open(self.path("h.dat"), "wb") as f:
            f.write(dat_header(10, sub_words, 1, 500_000, 0x3FF, 10, 1, n))
            f.write(b"".join(records))
        r = run_export([self.path("h.dat"), self.path("h.ch10")])
        self.assertEqual(r.returncode, 0, r.stderr)
        ch = Ch10File(open(self.path("h.ch10"), "rb").read())
        to_rtc = abs_to_rtc(ch.times())
        frames = ch.frames(len(expected[0][1]))
        self.assertEqual(len(frames), n)
        for (rtc, data), (t, stream) in zip(frames, expected):
            self.assertEqual(data, stream)
            self.assertEqual(rtc, to_rtc(t))

    def test_cut_and_headerless_files(self):
        sub_words = 8
        recs = b"".join(bcd_tag(1, 1, 2, 3, i, 0) + bytes([0xEB, 0x90] + [i] * 6)
                        for i in range(10))
        with open(self.path("cut.dat"), "wb") as f:
            f.write(dat_header(8, sub_words, 1, 100_000, 0xEB90, 16, 0, 10))
            f.write(recs[:-5])
        r = run_export([self.path("cut.dat"), self.path("cut.ch10")])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("1 records dropped", r.stdout)
        ch = Ch10File(open(self.path("cut.ch10"), "rb").read())
        self.assertEqual([d[2] for _, d in ch.frames(sub_words)], list(range(9)))

        with open(self.path("bare.dat"), "wb") as f:
            f.write(recs)
        r = run_export([self.path("bare.dat"), self.path("bare.ch10"), "--word-bits", "8"])
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("--subframe-words", r.stderr)
        self.assertIn("--bit-rate", r.stderr)
        r = run_export([self.path("bare.dat"), self.path("bare.ch10"), "--word-bits", "8",
                        "--subframe-words", "8", "--bit-rate", "100000"])
        self.assertEqual(r.returncode, 0, r.stderr)
        ch = Ch10File(open(self.path("bare.ch10"), "rb").read())
        self.assertEqual(ch.tmats()["P-1\\MF5"], "1110101110010000")
        self.assertEqual(len(ch.frames(sub_words)), 10)

    def test_the_path_written_is_printed_and_defaults_beside_the_recording(self):
        recs = b"".join(bcd_tag(1, 1, 2, 3, i, 0) + bytes([0xEB, 0x90] + [i] * 6)
                        for i in range(10))
        with open(self.path("pass 7.dat"), "wb") as f:
            f.write(dat_header(8, 8, 1, 100_000, 0xEB90, 16, 0, 10))
            f.write(recs)
        r = subprocess.run([EXPORTER, "--ch10", "pass 7.dat"], cwd=self.dir.name,
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        beside = self.path("pass 7.ch10")
        self.assertIn("wrote " + beside + ":", r.stdout)
        self.assertEqual(len(Ch10File(open(beside, "rb").read()).frames(8)), 10)

        r = run_export([self.path("pass 7.dat"), self.path("other.ch10")])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("wrote " + self.path("other.ch10") + ":", r.stdout)


def tag_ticks(tag, tag_format):
    """Time of year of a record tag in 100 ns units."""
    if tag_format == 0:
        def dec(b):
            return (b >> 4) * 10 + (b & 0xF)
        tenths = dec(tag[1]) * 100 + dec(tag[0])
        units = (tag[5] & 3) << 2 | tag[4] >> 6
        day = (tag[5] >> 6) * 100 + (tag[5] >> 2 & 0xF) * 10 + units
        h = (tag[4] >> 4 & 3) * 10 + (tag[4] & 0xF)
        sod = h * 3600 + dec(tag[3]) * 60 + dec(tag[2])
        return (day * 86400 + sod) * TICKS + tenths * 1000
    v = int.from_bytes(tag[:6], "little")
    return ((v >> 37 & 0x1FF) * 86400 + (v >> 20 & 0x1FFFF)) * TICKS + (v & 0xFFFFF) * 10


def compare(ch10_path, dat_path):
    dat = open(dat_path, "rb").read()
    (hlen,) = struct.unpack_from("<I", dat, 336)
    assert hlen == 1024, "the recording has no header"
    word_bits, sub_words = struct.unpack_from("<II", dat, 732)
    (tag_format,) = struct.unpack_from("<I", dat, 764)
    assert word_bits % 8 == 0
    rec = 8 + sub_words * word_bits // 8
    records = [dat[at:at + rec] for at in range(1024, len(dat) - rec + 1, rec)]
    ch = Ch10File(open(ch10_path, "rb").read())
    assert ch.tmats()["P-1\\MF1"] == str(sub_words)
    to_rtc = abs_to_rtc(ch.times())
    frames = ch.frames(rec - 8)
    assert len(frames) == len(records), (len(frames), len(records))
    for i, ((rtc, data), r) in enumerate(zip(frames, records)):
        assert data == r[8:], "frame %d differs" % i
        assert rtc == to_rtc(tag_ticks(r, tag_format)), "frame %d time" % i
    print("%d frames in order" % len(frames))


if __name__ == "__main__":
    if sys.argv[1] == "--compare":
        compare(sys.argv[2], sys.argv[3])
        sys.exit(0)
    EXPORTER = sys.argv.pop(1)
    unittest.main()
