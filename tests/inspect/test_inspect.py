#!/usr/bin/env python3
"""Runs the built jobcut-inspect as a user does and checks what it prints,
writes and exits with. Each TestCase class is one ctest entry."""
import html.parser
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zlib

INSPECT = os.environ["JOBCUT_INSPECT"]
ROOT = os.environ["JOBCUT_SOURCE_ROOT"]
DATA = os.path.join(ROOT, "tests", "inspect", "data")
EXAMPLES = os.path.join(ROOT, "examples")
# 25 frames a second and 1000 samples a second: 40 samples a frame.
SMALL = ["--frames", "100", "--fps", "25/1", "--audio-rate", "1000"]
SVG = "{http://www.w3.org/2000/svg}"


def run(*args, cwd=DATA):
    return subprocess.run([INSPECT, *args], cwd=cwd, capture_output=True, text=True)


def json_of(*args, cwd=DATA):
    done = run("--json", *args, cwd=cwd)
    return done.returncode, json.loads(done.stdout)


def write_subset_file(folder, name, lines):
    with open(os.path.join(folder, name), "w") as f:
        f.write("".join(line + "\n" for line in lines))


def write_bytes(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


class Table(unittest.TestCase):
    def table(self, *args):
        done = run(*args)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.splitlines()

    def test_rows_and_totals(self):
        lines = self.table(*SMALL, "three_ranges.vcf")
        self.assertEqual(lines[0], "three_ranges.vcf over 100 frames at 25/1 fps, audio 1000 Hz, s16, 2 channels, 4000 samples")
        self.assertEqual(lines[1].split(), ["#", "kind", "source", "frames", "output", "frames", "duration", "audio", "samples"])
        self.assertEqual([line.split() for line in lines[2:5]], [
            ["1", "range", "10..14", "0..4", "00:00:00.200", "200"],
            ["2", "masked", "30..32", "5..7", "00:00:00.120", "120"],
            ["3", "range", "50..53", "8..11", "00:00:00.160", "160"]])
        self.assertEqual(lines[5:], ["total: 12 frames, 00:00:00.480, 480 audio samples"])

    def test_columns_line_up(self):
        lines = self.table(*SMALL, "three_ranges.vcf")[1:5]
        self.assertEqual(len({len(line) for line in lines}), 1, lines)

    def test_timecode_at_the_default_rate(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "hour.vcf", ["VirtualDub.subset.AddRange(0,107892);"])
            done = run("hour.vcf", cwd=folder)
        # 107892 × 1001 / 30000 s = 3599.9964 s
        self.assertIn("00:59:59.996", done.stdout.splitlines()[2].split())

    def test_file_without_subset_lines_keeps_the_whole_clip(self):
        lines = self.table(*SMALL, "no_subset.vcf")
        self.assertEqual(lines[2].split(), ["1", "range", "0..99", "0..99", "00:00:04.000", "4000"])
        self.assertEqual(lines[3], "total: 100 frames, 00:00:04.000, 4000 audio samples")

    def test_source_audio_length(self):
        def totals(*args):
            return next(line for line in self.table(*args) if line.startswith("total: "))
        # 100000 frames at 30000/1001 fps last 160160000 samples at 48000 Hz.
        self.assertIn("160160000 audio samples", totals("no_subset.vcf"))
        self.assertEqual(totals(*SMALL, "--audio-samples", "123", "no_subset.vcf"),
                         "total: 100 frames, 00:00:04.000, 123 audio samples")
        self.assertEqual(totals(*SMALL, "--audio-rate", "0", "no_subset.vcf"),
                         "total: 100 frames, 00:00:04.000, 0 audio samples")


THREE_ROWS = [
    {"start": 10, "length": 5, "masked": False, "frame_end": 5, "audio_start": 400, "audio_length": 200, "audio_end": 200},
    {"start": 30, "length": 3, "masked": True, "frame_end": 8, "audio_start": 1200, "audio_length": 120, "audio_end": 320},
    {"start": 50, "length": 4, "masked": False, "frame_end": 12, "audio_start": 2000, "audio_length": 160, "audio_end": 480},
]


class Json(unittest.TestCase):
    def test_success(self):
        status, result = json_of(*SMALL, "three_ranges.vcf")
        self.assertEqual(status, 0)
        self.assertEqual(result, {"ok": True, "num_frames": 12, "num_audio_samples": 480, "rows": THREE_ROWS,
                                  "frames": [], "audio_requests": [], "silence": [], "warnings": []})
        self.assertEqual(list(result), ["ok", "num_frames", "num_audio_samples", "rows", "frames",
                                        "audio_requests", "silence", "warnings"])

    def test_failure(self):
        done = run("--json", "nothing.vcf")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(json.loads(done.stdout), {"ok": False, "error": 'Jobcut: file not found - "nothing.vcf"',
                                                   "warnings": []})
        self.assertEqual(done.stderr, "")

    def test_message_text_is_escaped(self):
        name = 'say "hi"\\\there.vcf'
        status, result = json_of(name)
        self.assertEqual(status, 1)
        self.assertEqual(result["error"], 'Jobcut: file not found - "%s"' % name)


class Probes(unittest.TestCase):
    def probe(self, *args, file="three_ranges.vcf"):
        status, result = json_of(*args, file)
        self.assertEqual(status, 0)
        return result

    def requests(self, *triples):
        return [{"offset_bytes": at, "start": start, "count": count} for at, start, count in triples]

    def test_map_frames(self):
        result = self.probe(*SMALL, "--map-frames", "-1:13")
        sources = [9, 10, 11, 12, 13, 14, 14, 14, 14, 50, 51, 52, 53, 53, 53]
        self.assertEqual(result["frames"], [{"n": n, "source": s} for n, s in zip(range(-1, 14), sources)])

    def test_audio_across_two_rows(self):
        result = self.probe(*SMALL, "--audio-request", "190:40")
        self.assertEqual(result["audio_requests"], self.requests((0, 590, 10), (40, 1200, 30)))
        self.assertEqual(result["silence"], [])

    def test_negative_start(self):
        result = self.probe(*SMALL, "--audio-request", "-5:10")
        self.assertEqual(result["audio_requests"], self.requests((0, 395, 10)))

    def test_silence_past_the_last_row(self):
        result = self.probe(*SMALL, "--audio-request", "470:20")
        self.assertEqual(result["audio_requests"], self.requests((0, 2150, 10)))
        self.assertEqual(result["silence"], [{"offset_bytes": 40, "bytes": 40, "fill": 0}])

    def test_unsigned_silence(self):
        result = self.probe(*SMALL, "--sample-type", "u8", "--audio-request", "470:20")
        self.assertEqual(result["silence"], [{"offset_bytes": 20, "bytes": 20, "fill": 128}])

    def test_request_wholly_past_the_end(self):
        result = self.probe(*SMALL, "--channels", "1", "--sample-type", "s24", "--audio-request", "1000:3")
        self.assertEqual(result["audio_requests"], [])
        self.assertEqual(result["silence"], [{"offset_bytes": 0, "bytes": 9, "fill": 0}])

    def test_truncated_rows_leave_a_silent_tail(self):
        # At 3 frames/s and 10 samples/s each 2-frame row holds 6 samples, but 4 frames make 13.
        result = self.probe("--fps", "3/1", "--audio-rate", "10", "--frames", "10", "--audio-request", "0:13",
                            file="uneven.vcf")
        self.assertEqual(result["num_audio_samples"], 13)
        self.assertEqual(result["audio_requests"], self.requests((0, 0, 6), (24, 16, 6)))
        self.assertEqual(result["silence"], [{"offset_bytes": 48, "bytes": 4, "fill": 0}])

    def test_probes_in_the_table(self):
        done = run(*SMALL, "--map-frames", "5:6", "--audio-request", "470:20", "three_ranges.vcf")
        self.assertEqual(done.stdout.splitlines()[-6:], [
            "frames (output -> source):", "  5 -> 14", "  6 -> 14",
            "audio request 470:20",
            "  source samples 2150 count 10 into byte 0",
            "  silence: 40 bytes of 0x00 from byte 40"])


class Refusals(unittest.TestCase):
    def assert_refused(self, name, message, cwd=DATA):
        done = run(name, cwd=cwd)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (1, "", message + "\n"))
        self.assertEqual(json_of(name, cwd=cwd), (1, {"ok": False, "error": message, "warnings": []}))

    def test_messages(self):
        self.assert_refused("nothing.vcf", 'Jobcut: file not found - "nothing.vcf"')
        self.assert_refused("zero_count.vcf", 'Jobcut: 2nd value read error - "zero_count.vcf"(line:3)')
        self.assert_refused("huge_number.vcf", 'Jobcut: format error - "huge_number.vcf"(line:2)')
        self.assert_refused("too_many_frames.vcf", 'Jobcut: too many frames(max 2147483647) - "too_many_frames.vcf"')

    def test_too_many_ranges(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "many.vcf", ["VirtualDub.subset.AddRange(%d,1);" % i for i in range(257)])
            self.assert_refused("many.vcf", 'Jobcut: Jobcut too many(max 256) - "many.vcf"', cwd=folder)

    def test_no_picture_for_a_refused_file(self):
        with tempfile.TemporaryDirectory() as folder:
            picture = os.path.join(folder, "t.svg")
            self.assertEqual(run("--svg", picture, "zero_count.vcf").returncode, 1)
            self.assertFalse(os.path.exists(picture))


class CommandLine(unittest.TestCase):
    BAD = [
        (["--frames", "abc", "f"], '--frames: "abc" is not a whole number'),
        (["--frames", "99999999999999999999", "f"], "--frames: 99999999999999999999 is out of range (0 to 2147483647)"),
        (["--fps", "0/1", "f"], "--fps: 0 is out of range (1 to 4294967295)"),
        (["--fps", "25/0", "f"], "--fps: 0 is out of range (1 to 4294967295)"),
        (["--fps", "25", "f"], '--fps: "25" is not NUM/DEN'),
        (["--channels", "-2", "f"], "--channels: -2 is out of range (0 to 2147483647)"),
        (["--audio-samples", "-1", "f"], "--audio-samples: -1 is out of range (0 to 9223372036854775807)"),
        (["--sample-type", "s12", "f"], '--sample-type: "s12" is not u8, s16, s24, s32 or float'),
        (["--map-frames", "5:3", "f"], "--map-frames: 3 is before 5"),
        (["--map-frames", "0:1000000", "f"], "--map-frames: at most 1000000 frames at once"),
        (["--audio-request", "7", "f"], '--audio-request: "7" is not START:COUNT'),
        (["--audio-request", "0:-1", "f"], "--audio-request: -1 is out of range (0 to 9223372036854775807)"),
        (["--audio-request", "0:67108865", "f"], "--audio-request: 67108865 samples need a buffer over 268435456 bytes"),
        (["--bogus", "f"], 'unknown option "--bogus"'),
        (["f", "--frames"], "--frames: missing value"),
        ([], "missing SETTINGS_FILE"),
        (["a", "b"], 'unexpected argument "b": one settings file only'),
    ]

    def test_bad_command_lines(self):
        for args, message in self.BAD:
            with self.subTest(args=args):
                done = run(*args)
                self.assertEqual(done.returncode, 2)
                self.assertEqual(done.stdout, "")
                lines = done.stderr.splitlines()
                self.assertEqual(lines[0], "jobcut-inspect: " + message)
                self.assertTrue(lines[1].startswith("usage: jobcut-inspect [options] SETTINGS_FILE"))

    def test_help(self):
        done = run("--help")
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        self.assertTrue(done.stdout.startswith("usage: jobcut-inspect"))

    def test_value_forms(self):
        separate = run("--frames", "100", "--fps", "25/1", "--audio-rate", "1000", "three_ranges.vcf")
        joined = run("--frames=100", "--fps=25/1", "--audio-rate=1000", "three_ranges.vcf")
        self.assertEqual(separate.stdout, joined.stdout)
        self.assertIn("over 100 frames at 25/1 fps, audio 1000 Hz,", joined.stdout)

    def test_file_name_after_double_dash(self):
        done = run("--", "-odd.vcf")
        self.assertEqual((done.returncode, done.stderr), (1, 'Jobcut: file not found - "-odd.vcf"\n'))

    def test_picture_that_cannot_be_written(self):
        done = run("--svg", "no-such-folder/t.svg", "three_ranges.vcf")
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr, 'jobcut-inspect: --svg: cannot write "no-such-folder/t.svg"\n')


class Picture(unittest.TestCase):
    def picture(self, *args, cwd=DATA):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "t.svg")
            done = run("--svg", path, *args, cwd=cwd)
            self.assertEqual(done.returncode, 0, done.stderr)
            return ET.parse(path).getroot()

    def shapes(self, root, first_class):
        return [e for e in root.iter() if (e.get("class") or "").split()[:1] == [first_class]]

    def test_one_shape_per_range(self):
        root = self.picture(*SMALL, "three_ranges.vcf")
        self.assertEqual(root.tag, SVG + "svg")
        for first_class in ("range", "source-span"):
            shapes = self.shapes(root, first_class)
            self.assertEqual([e.tag for e in shapes], [SVG + "rect"] * 3)
            self.assertEqual([e.get("class").split()[1] for e in shapes], ["kept", "masked", "kept"])
        # Source frames 0-9, 15-29, 33-49 and 54-99 are dropped.
        self.assertEqual(len(self.shapes(root, "dropped")), 4)
        self.assertEqual(len(self.shapes(root, "masked-marker")), 2)
        self.assertEqual(len(self.shapes(root, "link")), 3)
        self.assertEqual(len(self.shapes(root, "boundary")), 4)

    def test_output_ranges_follow_each_other(self):
        shapes = self.shapes(self.picture(*SMALL, "three_ranges.vcf"), "range")
        edges = [(float(e.get("x")), float(e.get("x")) + float(e.get("width"))) for e in shapes]
        widths = [right - left for left, right in edges]
        for (_, right), (left, _) in zip(edges, edges[1:]):
            self.assertAlmostEqual(right, left, places=1)
        # 5, 3 and 4 output frames
        self.assertAlmostEqual(widths[0] / widths[1], 5 / 3, places=2)
        self.assertAlmostEqual(widths[2] / widths[1], 4 / 3, places=2)

    def test_timecode_ticks(self):
        labels = [e.text for e in self.shapes(self.picture(*SMALL, "three_ranges.vcf"), "tick-label")]
        # the source's 4 s in half seconds, the output's 480 ms in tenths
        self.assertEqual(labels, ["00:00:0%d.%d00" % (t // 2, t % 2 * 5) for t in range(9)] +
                         ["00:00:00.%d00" % t for t in range(5)])

    def test_256_ranges(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "full.vcf", ["VirtualDub.subset.Add%s(%d,%d);" % (
                "MaskedRange" if i % 7 == 3 else "Range", i * 50, 10 + i % 30) for i in range(256)])
            root = self.picture("--frames", "13000", "full.vcf", cwd=folder)
        self.assertEqual(len(self.shapes(root, "range")), 256)
        self.assertEqual(len(self.shapes(root, "masked-marker")), 2 * 37)

    def test_markup_in_the_file_name(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "a&b<c>.vcf", ["VirtualDub.subset.AddRange(0,5);"])
            root = self.picture("a&b<c>.vcf", cwd=folder)
        self.assertTrue(self.shapes(root, "title")[0].text.startswith("a&b<c>.vcf: 1 range, 5 frames"))

ADD = "VirtualDub.subset.AddRange"

# Files shaped after real settings and job files: every warning each earns, as
# (kind, line), and nowhere else.
SHAPED = [
    ("expression_count.vcf", [], [("not_a_number", 13)]),
    ("variable_count.vdscript", [], [("not_a_number", 36)]),
    ("commented_out.vcf", [], [("no_subset_lines", None), ("commented_out", 17)]),
    ("cut_put_aside.vcf", [], [("commented_out", 20), ("commented_out", 22)]),
    ("hand_edited.vcf", [], [("not_a_number", 7), ("not_a_number", 8), ("read_loosely", 9), ("read_loosely", 10),
                             ("not_at_line_start", 11), ("wrong_case", 12), ("wrong_case", 13)]),
    ("one_line_commands.vcf", [], [("no_subset_lines", None), ("not_at_line_start", 3)]),
    ("long_blanks.vcf", [], [("outside_line_window", 9), ("outside_line_window", 10)]),
    ("selection.vcf", [], [("selection_ignored", 24)]),
    ("empty_edit_list.vcf", [], [("no_subset_lines", None)]),
    ("subset_delete.jobs", [], [("no_subset_lines", None)]),
    ("two_sources.jobs", ["--frames", "10051"], [("cleared_again", 55), ("overlap", 56)]),
    ("two_sources.jobs", ["--frames", "1583"], [("past_source_end", 27), ("cleared_again", 55), ("overlap", 56)]),
    (os.path.join(EXAMPLES, "two-pass.jobs"), ["--frames", "5010"], [("cleared_again", 52), ("overlap", 53)]),
    (os.path.join(EXAMPLES, "two-pass.jobs"), ["--frames", "5009"],
     [("past_source_end", 24), ("cleared_again", 52), ("overlap", 53), ("past_source_end", 53)]),
    ("reordered.vcf", [], [("overlap", 7), ("overlap", 9)]),
    ("reordered.vcf", ["--frames", "5050"], [("overlap", 7), ("overlap", 9), ("past_source_end", 10)]),
]

# Real-shaped files the filter reads as they look.
CLEAN = [
    (os.path.join(EXAMPLES, "cuts.vcf"), ["--frames", "36000"]),
    ("three_ranges.vcf", SMALL),
    ("uneven.vcf", ["--frames", "10"]),
    ("clean_job.jobs", ["--frames", "10000"]),
    (os.path.join(ROOT, "tests", "data", "masked_cuts.vcf"), ["--frames", "12007"]),
]

# Edge cases of the reading rules: (what, file bytes, options, warnings[, what the first one says]).
EDGES = [
    ("keyword running on into a longer word", ADD + "X(5,10);\n", [], [("not_a_number", 1)],
     '"VirtualDub.subset.AddRangeX" is taken for VirtualDub.subset.AddRange'),
    ("minus sign", b"// cut\n" + (ADD + "(-10,50);\n").encode(), [], [("not_a_number", 2)],
     'the first frame "-10" is not written as digits: the filter reads the first frame as 0 and the frame count as 0'),
    ("first frame left out", ADD + "(,500);\n", [], [("not_a_number", 1)], "stores source frames 0..499"),
    ("one argument", ADD + "(100);\n", [], [("not_a_number", 1)],
     'one argument only, "100"'),
    ("no argument", ADD + "();\n// the reader tries a keyword only with room for its numbers\n", [],
     [("not_a_number", 1)]),
    ("a count of 0 written as digits", ADD + "(200,0);\n", [], []),
    ("a number too large", ADD + "(2147483648,5);\n", [], []),
    ("digits, then a comment", ADD + "(\t7\t,\t9\t) // was 7,90\n", [], []),
    ("short last line, passed over for want of bytes", ADD + "(1,2);\n" + ADD + "(5,9", [], [("cut_short", 2)],
     "the file ends 30 bytes into this line, fewer than the 31 the filter needs"),
    ("short masked last line after blanks", ADD + "(1,2);\n  VirtualDub.subset.AddMaskedRange(5", [], [("cut_short", 2)],
     "the file ends 36 bytes into this line, fewer than the 37 the filter needs to try VirtualDub.subset.AddMaskedRange"),
    ("last line just long enough", ADD + "(1,2);\n" + ADD + "(5,9)", [], []),
    ("lone carriage return", ADD + "(1,2);\r" + ADD + "(3,4);\n", [], [("not_at_line_start", 1)]),
    ("keyword in a trailing comment", ADD + "(1,2); // " + ADD + "(1,5)\n", [], []),
    ("keyword in a string", 'VirtualDub.project.AddTextInfo("ICMT","' + ADD + '(1,5)");\n' + ADD + "(1,2);\n", [], []),
    ("clear before any range", "VirtualDub.subset.Clear();\nVirtualDub.subset.Clear();\n" + ADD + "(0,10);\n", [], []),
    ("clear repeated after ranges", "VirtualDub.subset.Clear();\n" + ADD + "(0,10);\nVirtualDub.subset.Clear();\n"
     "VirtualDub.subset.Clear();\n" + ADD + "(20,10);\nVirtualDub.subset.Delete();\n", [],
     [("cleared_again", 3), ("cleared_again", 6)]),
    ("selections", ADD + "(0,10);\nVirtualDub.video.SetRange(0,0);\nVirtualDub.video.SetRange();\n"
     "VirtualDub.video.SetRangeFrames(0,VirtualDub.video.length);\n", [], [("selection_ignored", 4)]),
    ("past the end, length not given", ADD + "(90,20);\n", [], []),
    ("past the end, masked", ADD + "(0,90);\nVirtualDub.subset.AddMaskedRange(90,20);\n", ["--frames", "100"],
     [("past_source_end", 2)]),
    ("ending at the last frame", ADD + "(90,10);\n", ["--frames", "100"], []),
    ("a source of no frames", ADD + "(0,1);\n", ["--frames", "0"], [("past_source_end", 1)]),
    ("ranges that touch", ADD + "(0,10);\n" + ADD + "(10,10);\nVirtualDub.subset.AddMaskedRange(20,5);\n", [], []),
    ("commented with blanks around", "  //  VirtualDub.subset.AddMaskedRange(1,2);\n" + ADD + "(0,5);\n", [],
     [("commented_out", 1)]),
    ("a comment that only names the keyword", "// -- " + ADD + "(1,2)\n" + ADD + "(0,5);\n", [], []),
    ("masked keyword in other case", "VirtualDub.subset.addMaskedRange(1,2);\n" + ADD + "(0,5);\n", [],
     [("wrong_case", 1)]),
    ("other case beyond the line window", " " * 250 + "virtualdub.subset.addrange(1,2);\n" + ADD + "(0,5);\n", [],
     [("wrong_case", 1)]),
    ("count cut off by the line window", " " * 229 + ADD + "(3,5);\n", [], [("outside_line_window", 1)],
     "frame count as 0 where the whole line gives 3 and 5, and so refuses the file"),
    ("a refusal ends the warnings", "//" + ADD + "(0,5)\n" + ADD + "(0,x)\n//" + ADD + "(9,9)\n", [],
     [("commented_out", 1), ("not_a_number", 2)]),
    ("too many ranges", "".join(ADD + "(%d,1);\n" % i for i in range(257)) + "//" + ADD + "(0,5)\n", [], []),
]


def check_claims(test, path, args, result):
    """Holds each warning's claims against the filter's own result on the same file."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    rows = result.get("rows", [])
    for warning in result["warnings"]:
        kind, line, text = warning["kind"], warning["line"], warning["text"]
        test.assertEqual(line is None, kind == "no_subset_lines", warning)
        stored = re.search(r"stores source frames (\d+)\.\.(\d+)", text)
        if stored and result["ok"]:
            start, last = int(stored.group(1)), int(stored.group(2))
            test.assertIn((start, last - start + 1), [(r["start"], r["length"]) for r in rows], text)
        if "refuses the file" in text:
            test.assertFalse(result["ok"])
            test.assertTrue(result["error"].endswith("(line:%d)" % line), (text, result["error"]))
        if kind in ("overlap", "past_source_end", "cleared_again", "selection_ignored", "no_subset_lines"):
            test.assertTrue(result["ok"], warning)
        named = re.match(r"range (\d+) \(source frames (\d+)\.\.(\d+)\)", text)
        if kind in ("overlap", "past_source_end"):
            row = rows[int(named.group(1)) - 1]
            test.assertEqual((row["start"], row["start"] + row["length"] - 1), (int(named.group(2)), int(named.group(3))))
        if kind == "overlap":
            shared = re.search(r"shares source frames (\d+)\.\.(\d+) with range (\d+)", text)
            other = rows[int(shared.group(3)) - 1]
            test.assertEqual(int(shared.group(1)), max(row["start"], other["start"]))
            test.assertEqual(int(shared.group(2)) + 1, min(row["start"] + row["length"], other["start"] + other["length"]))
        if kind == "past_source_end":
            frames = int(args[args.index("--frames") + 1])
            test.assertGreater(row["start"] + row["length"], frames)
        if kind == "no_subset_lines":
            test.assertEqual(len(rows), 1)
            test.assertEqual((rows[0]["start"], rows[0]["masked"]), (0, False))
        if "ignores this line" in text or kind == "commented_out":
            # The filter reads the file the same with that line emptied.
            changed = b"\n".join(lines[:line - 1] + [b"//"] + lines[line:])
            with tempfile.TemporaryDirectory() as folder:
                copy = write_bytes(folder, "copy.vcf", changed)
                _, without = json_of(*args, copy)
            test.assertEqual((without["ok"], without.get("rows"), without.get("error", "").replace(copy, path)),
                             (result["ok"], result.get("rows"), result.get("error", "")), text)


class Warnings(unittest.TestCase):
    def warnings_of(self, path, args):
        done = run("--json", *args, path)
        self.assertEqual(done.stderr, "", path)
        result = json.loads(done.stdout)
        self.assertEqual(done.returncode, 0 if result["ok"] else 1)
        check_claims(self, os.path.join(DATA, path), args, result)
        return result

    def kinds(self, result):
        return [(w["kind"], w["line"]) for w in result["warnings"]]

    def test_real_shapes(self):
        for path, args, expected in SHAPED:
            with self.subTest(path=path, args=args):
                self.assertEqual(self.kinds(self.warnings_of(path, args)), expected)

    def test_clean_real_shapes(self):
        for path, args in CLEAN:
            with self.subTest(path=path):
                self.assertEqual(self.kinds(self.warnings_of(path, args)), [])

    def test_reading_rules(self):
        with tempfile.TemporaryDirectory() as folder:
            for what, content, args, expected, *says in EDGES:
                with self.subTest(what):
                    data = content if isinstance(content, bytes) else content.encode()
                    path = write_bytes(folder, "edge.vcf", data)
                    result = self.warnings_of(path, args)
                    self.assertEqual(self.kinds(result), expected)
                    for phrase in says:
                        self.assertIn(phrase, result["warnings"][0]["text"])

    def test_what_the_sentences_say(self):
        says = {
            ("expression_count.vcf", 13): ['frame count "VirtualDub.video.length" is not written as digits',
                                           "reads the first frame as 0 and the frame count as 0",
                                           "refuses the file with the message shown"],
            ("hand_edited.vcf", 7): ['frame count "1000 * 2"', "frame count as 1000", "stores source frames 0..999"],
            ("hand_edited.vcf", 9): ['no "(" follows', "stores source frames 4000..4099",
                                     "write the line as it does: VirtualDub.subset.AddRange(4000,100);"],
            ("hand_edited.vcf", 10): ['no "," stands between', "stores source frames 5000..5249"],
            ("long_blanks.vcf", 9): ["after 240 blanks", "ignores this line"],
            ("long_blanks.vcf", 10): ["frame count as 12 where the whole line gives 300 and 12345",
                                      "stores source frames 300..311"],
            ("selection.vcf", 24): ['"VirtualDub.video.SetRangeFrames(500,2500)"', "all 5000 frames"],
            ("two_sources.jobs", 55): ["1 range (10051 frames) read before it", "the clip's 11634 frames"],
            ("two_sources.jobs", 56): ["shares source frames 0..1582 with range 1 (line 27)", "twice"],
            ("reordered.vcf", 9): ["shares source frames 800..999 with range 1 (line 6) and overlaps 2 more earlier"],
        }
        found = {}
        for path, args, _ in SHAPED:
            for w in self.warnings_of(path, args)["warnings"]:
                found.setdefault((path, w["line"]), w["text"])
        for place, phrases in says.items():
            for phrase in phrases:
                self.assertIn(phrase, found[place], place)
        status, result = json_of("--frames", "1583", "two_sources.jobs")
        self.assertIn("has 8468 of its 10051 frames past the end of the 1583-frame source, whose last frame is 1582",
                      result["warnings"][0]["text"])

    def test_agrees_with_the_filter_on_many_files(self):
        # Lines of every shape the rules tell apart, at random, with blanks and line ends of every kind.
        shapes = [ADD + "(%d,%d);", "VirtualDub.subset.AddMaskedRange(%d,%d);", "VirtualDub.subset.AddFrame(%d,%d)",
                  ADD + "(%d,numFrames);", ADD + "(-%d,%d);", ADD + " %d,%d", ADD + "(%d %d)", ADD + "(%d,%d*2);",
                  "virtualdub.subset.addrange(%d,%d);", "//" + ADD + "(%d,%d);", ADD + "X(%d,%d);", ADD + "(%d,",
                  "VirtualDub.subset.Clear(); " + ADD + "(%d,%d);", "VirtualDub.subset.Clear();",
                  "VirtualDub.subset.Delete();", "VirtualDub.video.SetRangeFrames(%d,%d);", ADD + "(%d,%d)",
                  'VirtualDub.video.SetCompData(9,"%d%dQUFBQQ==' + "QUFB" * 80 + '");', ADD + "(",
                  ADD + "(%d,99999999999);"]
        generator = random.Random(13)
        with tempfile.TemporaryDirectory() as folder:
            for n in range(120):
                text = ""
                for _ in range(generator.randint(0, 9)):
                    shape = generator.choice(shapes)
                    numbers = tuple(generator.choice([0, 1, 7, 90, 1000, 5009]) for _ in range(shape.count("%d")))
                    lead = generator.choice(["", "", " ", "\t ", " " * generator.randint(200, 260)])
                    text += lead + shape % numbers + generator.choice(["\n", "\n", "\r\n", "\r"])
                if generator.random() < 0.3:
                    text = text.rstrip("\r\n")
                path = write_bytes(folder, "random%d.vcf" % n, text.encode())
                args = ["--frames", str(generator.choice([1000, 6000]))]
                with self.subTest(text=text):
                    self.warnings_of(path, args)

    def test_in_the_table(self):
        done = run("--frames", "10051", "two_sources.jobs")
        self.assertEqual(done.returncode, 0)
        lines = done.stdout.splitlines()
        at = lines.index("warnings:")
        self.assertTrue(lines[at - 1].startswith("total: 11634 frames"))
        self.assertEqual([line.split(":")[0] for line in lines[at + 1:]], ["  line 55", "  line 56"])
        file_level = run("no_subset.vcf").stdout.splitlines()
        self.assertTrue(file_level[-1].startswith("  file: the file holds no subset line the filter reads"))

    def test_in_the_table_of_a_refused_file(self):
        done = run("variable_count.vdscript")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr, 'Jobcut: 2nd value read error - "variable_count.vdscript"(line:36)\n')
        self.assertEqual(done.stdout.splitlines()[0], "warnings:")
        self.assertTrue(done.stdout.splitlines()[1].startswith('  line 36: the frame count "numFrames"'))


class ReportPage(html.parser.HTMLParser):
    """What a test needs of the page: the range rows, the warnings, the texts, and anything loaded from outside."""

    def __init__(self, text):
        super().__init__()
        self.open, self.range_rows, self.warnings, self.outside = [], 0, [], []
        self.texts = {}
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.open.append((tag, attrs.get("class", "")))
        if tag == "tr" and ("tbody", "") in self.open:
            self.range_rows += 1
        if tag == "li" and attrs.get("class") == "warning":
            self.warnings.append(attrs["data-kind"])
        if tag in ("script", "link", "img", "iframe", "object", "embed") or {"src", "href"} & set(attrs):
            self.outside.append(tag)

    def handle_endtag(self, tag):
        while self.open and self.open.pop()[0] != tag:
            pass

    def handle_data(self, data):
        for tag, css_class in self.open:
            if css_class:
                self.texts[css_class] = self.texts.get(css_class, "") + data
        # A pre of its own class is found under that class only.
        if self.open and self.open[-1][0] in ("pre", "style", "h1") and not (self.open[-1][0] == "pre" and self.open[-1][1]):
            key = self.open[-1][0]
            self.texts[key] = self.texts.get(key, "") + data


class Report(unittest.TestCase):
    def report(self, *args, cwd=DATA, status=0):
        with tempfile.TemporaryDirectory() as folder:
            page = os.path.join(folder, "report.html")
            done = run("--html", page, *args, cwd=cwd)
            self.assertEqual(done.returncode, status, done.stderr)
            with open(page, encoding="utf-8") as f:
                text = f.read()
        _, result = json_of(*args, cwd=cwd)
        return ReportPage(text), text, result

    def assert_self_contained(self, page, text):
        self.assertEqual(page.outside, [])
        self.assertNotIn("url(", text)
        self.assertNotIn("@import", text)

    def test_clean_file(self):
        page, text, _ = self.report(*SMALL, "three_ranges.vcf")
        self.assertEqual(page.range_rows, 3)
        self.assertEqual(page.warnings, [])
        self.assertIn("<svg", text)
        self.assertEqual(page.texts["pre"], 'LoadPlugin("jobcut.dll")\nJobcut(last, "three_ranges.vcf")')
        self.assertIn("Source: 100 frames at 25/1 fps", page.texts["source"])
        self.assertIn("12 frames, 00:00:00.480, 480 audio samples", page.texts["summary"])
        self.assertNotIn("refusal", page.texts)
        self.assert_self_contained(page, text)

    def test_one_item_per_warning(self):
        for path, args, _ in SHAPED:
            with self.subTest(path=path):
                status = 1 if json_of(*args, path)[1]["ok"] is False else 0
                page, text, result = self.report(*args, path, status=status)
                self.assertEqual(page.warnings, [w["kind"] for w in result["warnings"]])
                self.assertEqual(page.range_rows, len(result.get("rows", [])))
                self.assert_self_contained(page, text)

    def test_refused_file(self):
        page, text, result = self.report("expression_count.vcf", status=1)
        self.assertEqual(page.texts["message"], result["error"])
        self.assertEqual(page.warnings, ["not_a_number"])
        self.assertEqual(page.range_rows, 0)
        self.assertNotIn("<svg", text)
        self.assertIn('Jobcut(last, "expression_count.vcf")', page.texts["pre"])

    def test_256_ranges(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "full.vcf", [ADD + "(%d,10);" % (i * 50) for i in range(256)])
            page, _, _ = self.report("--frames", "13000", "full.vcf", cwd=folder)
        self.assertEqual(page.range_rows, 256)

    def test_names_that_need_escaping(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, 'a&b<"c">.vcf', [ADD + "(0,5);"])
            page, _, _ = self.report('a&b<"c">.vcf', cwd=folder)
        self.assertEqual(page.texts["h1"], 'a&b<"c">.vcf')
        # An AviSynth string cannot hold a double quote but between triple quotes.
        self.assertIn('Jobcut(last, """a&b<"c">.vcf""")', page.texts["pre"])

    def test_vapoursynth_lines_and_the_fragment(self):
        names = [("three_ranges.vcf", '"three_ranges.vcf"'), ('a"b\\c.vcf', '"a\\"b\\\\c.vcf"'),
                 ("tab\there.vcf", '"tab\\x09here.vcf"')]
        with tempfile.TemporaryDirectory() as folder:
            for name, literal in names:
                with self.subTest(name=name):
                    write_subset_file(folder, name, [ADD + "(10,5);", "VirtualDub.subset.AddMaskedRange(30,3);"])
                    page, _, _ = self.report(*SMALL, "--fps", "30000/1001", name, cwd=folder)
                    self.assertEqual(page.texts["vapoursynth"], "\n".join([
                        'core.std.LoadPlugin("/path/to/libjobcut.so")',
                        "video = core.jobcut.Jobcut(video, %s)" % literal,
                        "audio = core.jobcut.JobcutAudio(audio, %s, fpsnum=30000, fpsden=1001)" % literal]))
                    fragment = os.path.join(folder, "cut.avs")
                    self.assertEqual(run(*SMALL, "--fps", "30000/1001", "--avs", fragment, name, cwd=folder).returncode, 0)
                    with open(fragment) as f:
                        self.assertEqual(page.texts["fragment"], f.read().rstrip("\n"))
        page, _, _ = self.report("expression_count.vcf", status=1)
        self.assertIn("vapoursynth", page.texts)
        self.assertNotIn("fragment", page.texts)

    def test_page_that_cannot_be_written(self):
        done = run("--html", "no-such-folder/r.html", "three_ranges.vcf")
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr, 'jobcut-inspect: --html: cannot write "no-such-folder/r.html"\n')


def png_size_and_rows(path):
    """Width, height and the number of distinct pixel rows of an 8-bit RGB(A) PNG."""
    with open(path, "rb") as f:
        data = f.read()
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    chunks, at = b"", 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            chunks += data[at + 8:at + 8 + length]
        at += 12 + length
    raw = zlib.decompress(chunks)
    stride = 1 + width * {2: 3, 6: 4}[colour]
    return width, height, len({raw[i * stride + 1:(i + 1) * stride] for i in range(height)})


class Rendering(unittest.TestCase):
    """The report as Chromium draws it, at a desktop and at a phone width."""

    def chromium(self, page, png, width, height):
        browser = shutil.which("chromium")
        if not browser:
            self.skipTest("chromium is not installed")
        with tempfile.TemporaryDirectory() as profile:
            done = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                   "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                   "--disable-sync", "--hide-scrollbars", "--user-data-dir=" + profile,
                                   "--window-size=%d,%d" % (width, height), "--screenshot=" + png, "file://" + page],
                                  capture_output=True, text=True, timeout=120)
        if not os.path.exists(png):
            reason = "chromium could not start: exit %d, %s" % (done.returncode, done.stderr.strip()[-400:])
            if os.environ.get("CI") == "true":
                print("CI: chromium is installed but did not render the report; skipped. " + reason, file=sys.stderr)
            self.skipTest(reason)

    def test_example_and_256_ranges_at_two_widths(self):
        with tempfile.TemporaryDirectory() as folder:
            write_subset_file(folder, "full.vcf", ["VirtualDub.subset.Add%s(%d,%d);" % (
                "MaskedRange" if i % 7 == 3 else "Range", i * 50, 10 + i % 30) for i in range(256)])
            pages = {
                "example": (["--frames", "36000", os.path.join(EXAMPLES, "cuts.vcf")], ROOT),
                "full": (["--frames", "13000", "full.vcf"], folder),
            }
            for name, (args, cwd) in pages.items():
                page = os.path.join(folder, name + ".html")
                self.assertEqual(run("--html", page, *args, cwd=cwd).returncode, 0)
                for width in (1280, 400):
                    with self.subTest(page=name, width=width):
                        png = os.path.join(folder, "%s-%d.png" % (name, width))
                        self.chromium(page, png, width, 1600)
                        self.assertEqual(png_size_and_rows(png)[:2], (width, 1600))
                        # Text, table and picture make many different rows of pixels; a blank page makes one.
                        self.assertGreater(png_size_and_rows(png)[2], 200)


class Readme(unittest.TestCase):
    def shown_runs(self):
        """Each command the README shows with its output: (command words, output lines)."""
        with open(os.path.join(ROOT, "README.md")) as f:
            readme = f.read().splitlines()
        starts = [i for i, line in enumerate(readme) if line.startswith("$ build/tools/jobcut-inspect ")]
        return [(readme[i][2:], readme[i + 1:readme.index("```", i)]) for i in starts]

    def test_shown_tables_are_current(self):
        for command, shown in self.shown_runs():
            with self.subTest(command), tempfile.TemporaryDirectory() as folder:
                args = command.split()[1:]
                if "--svg" in args:
                    args[args.index("--svg") + 1] = os.path.join(folder, "t.svg")
                done = subprocess.run([INSPECT, *args], cwd=ROOT, capture_output=True, text=True)
                self.assertEqual(done.stdout.splitlines(), shown)

    def test_main_job_and_its_picture(self):
        command, _ = self.shown_runs()[0]
        with open(os.path.join(ROOT, "tools", "build.sh")) as f:
            self.assertIn(command + "\n", f.read())
        with tempfile.TemporaryDirectory() as folder:
            args = command.split()[1:]
            picture = os.path.join(folder, "t.svg")
            args[args.index("--svg") + 1] = picture
            subprocess.run([INSPECT, *args], cwd=ROOT, capture_output=True, check=True)
            with open(picture) as made, open(os.path.join(ROOT, "examples", "cuts-timeline.svg")) as shown:
                self.assertEqual(made.read(), shown.read())

    def test_a_warning_is_shown(self):
        self.assertTrue(any("warnings:" in shown for _, shown in self.shown_runs()))



CORPUS = os.path.join(ROOT, "..", "shared", "corpus", "real")
# Source clips as the exports' tests describe them: (inspector options, AviSynth+ sample bits).
SOURCE_25 = ["--fps", "25/1", "--audio-rate", "200"]
SAMPLE_BITS = {"u8": 8, "s16": 16, "s24": 24, "s32": 32, "float": 0}


def random_subset_files(folder):
    """Settings files of the shapes a cut list takes, each with the source it is tried over."""
    generator = random.Random(18)
    masked, plain = "VirtualDub.subset.AddMaskedRange(%d,%d);", ADD + "(%d,%d);"
    frame = "VirtualDub.subset.AddFrame(%d,%d);"
    shapes = {
        "masked_first": [masked % (40, 10), plain % (50, 20), masked % (70, 3)],
        "masked_run": [plain % (0, 30), masked % (30, 5), masked % (35, 1), masked % (36, 4), plain % (40, 9)],
        "after_every_kind": [frame % (5, 1), masked % (9, 2), plain % (20, 3), masked % (23, 1), frame % (60, 2),
                             masked % (62, 7)],
        "one_frame": [plain % (17, 1)],
        "past_the_end": [plain % (90, 30), masked % (200, 5), plain % (995, 12)],
        "full": [(masked if i % 5 == 2 else plain) % (generator.randrange(0, 990), generator.randint(1, 6))
                 for i in range(256)],
    }
    for n in range(6):
        shapes["random%d" % n] = [generator.choice([plain, masked, frame]) % (
            generator.randrange(0, 1020), generator.randint(1, 40)) for _ in range(generator.randint(1, 12))]
    sources = [["--frames", "1000", *SOURCE_25],
               ["--frames", "1000", "--fps", "30000/1001", "--audio-rate", "48000"],
               ["--frames", "1000", "--fps", "3/1", "--audio-rate", "10", "--sample-type", "u8"],
               ["--frames", "1000", *SOURCE_25, "--channels", "1", "--sample-type", "s24"],
               ["--frames", "1000", *SOURCE_25, "--sample-type", "float", "--audio-samples", "7777"],
               ["--frames", "1000", *SOURCE_25, "--audio-samples", "9000"]]
    cases = []
    for i, (name, lines) in enumerate(sorted(shapes.items())):
        write_subset_file(folder, name + ".vcf", lines)
        cases.append((name + ".vcf", sources[i % len(sources)]))
    return cases


def export_cases(folder):
    """The bundled examples, the corpus files, and the random files: (path, source options)."""
    cases = [(os.path.join(EXAMPLES, "cuts.vcf"), ["--frames", "36000", *SOURCE_25]),
             (os.path.join(EXAMPLES, "two-pass.jobs"), ["--frames", "5010", *SOURCE_25]),
             (os.path.join(DATA, "three_ranges.vcf"), SMALL),
             (os.path.join(DATA, "no_subset.vcf"), ["--frames", "100", *SOURCE_25, "--audio-samples", "850"]),
             (os.path.join(DATA, "uneven.vcf"), ["--frames", "10", "--fps", "3/1", "--audio-rate", "10"])]
    if os.path.isdir(CORPUS):
        cases += [(os.path.join(CORPUS, name), ["--frames", "3000", *SOURCE_25])
                  for name in sorted(os.listdir(CORPUS)) if not name.endswith(".md")]
    return cases + [(os.path.join(folder, name), args) for name, args in random_subset_files(folder)]


def option(args, name, default):
    return args[args.index(name) + 1] if name in args else default


class Exports(unittest.TestCase):
    """The exported cut rendered in AviSynth+, ffmpeg and x264 against what the plug-in gives."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.cases = export_cases(cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def need(self, tool, reason=None):
        if tool and (os.path.isabs(tool) or shutil.which(tool)):
            return tool
        reason = reason or tool + " is not installed"
        if os.environ.get("CI") == "true":
            self.fail("CI=true: the exports must be rendered; " + reason)
        self.skipTest(reason)

    def export(self, path, args, *outputs):
        """Runs the inspector with the given exports; returns its JSON and each file's text (None: not written)."""
        files = {kind: os.path.join(self.folder, "out." + kind) for kind in outputs}
        for name in files.values():
            if os.path.exists(name):
                os.remove(name)
        extra = [word for kind, name in files.items() for word in ("--" + kind, name)]
        status, result = json_of(*args, *extra, path, cwd=self.folder)
        texts = {}
        for kind, name in files.items():
            texts[kind] = open(name).read() if os.path.exists(name) else None
        self.assertEqual(status, 0 if result["ok"] else 1)
        return result, texts

    def source(self, args):
        """The described source's properties: frames, fps, audio rate, channels, sample bits, samples."""
        frames = int(option(args, "--frames", "100000"))
        num, den = (int(v) for v in option(args, "--fps", "30000/1001").split("/"))
        rate = int(option(args, "--audio-rate", "48000"))
        samples = int(option(args, "--audio-samples", str(frames * rate * den // num)))
        return frames, num, den, rate, int(option(args, "--channels", "2")), \
            SAMPLE_BITS[option(args, "--sample-type", "s16")], samples

    def dump(self, script, args):
        """The clip `script` ends with in AviSynth+: (header and frames, audio bytes)."""
        dumper = self.need(os.environ.get("JOBCUT_SCRIPT_DUMP"),
                           "AviSynth+ is not built: " + os.environ.get("JOBCUT_SCRIPT_DUMP_MISSING", ""))
        script_path, audio_path = os.path.join(self.folder, "s.avs"), os.path.join(self.folder, "s.raw")
        with open(script_path, "w") as f:
            f.write(script)
        done = subprocess.run([dumper, os.environ["JOBCUT_PLUGIN"], script_path, audio_path,
                               *map(str, self.source(args))], capture_output=True, text=True, cwd=self.folder)
        with open(audio_path, "rb") as f:
            return done.returncode, done.stdout, done.stderr, f.read()

    def test_avisynth_fragment_gives_the_plugins_clip(self):
        for path, args in self.cases:
            with self.subTest(path=os.path.basename(path), args=args):
                result, texts = self.export(path, args, "avs")
                if not result["ok"]:
                    self.assertIsNone(texts["avs"])
                    continue
                first = texts["avs"].splitlines()[0]
                self.assertTrue(first.startswith("# Made by jobcut-inspect "), first)
                self.assertIn(json.dumps(path), first)
                plugin = self.dump("TestSource()\nJobcut(last, %s)\n" % json.dumps(path), args)
                fragment = self.dump("TestSource()\n" + texts["avs"], args)
                self.assertEqual(plugin[0], 0, plugin[2])
                self.assertEqual(fragment[0], 0, fragment[2])
                self.assertEqual(fragment[1].splitlines()[0], plugin[1].splitlines()[0])
                self.assertEqual(fragment[1], plugin[1], "frames differ")
                self.assertEqual(len(fragment[3]), len(plugin[3]))
                self.assertTrue(fragment[3] == plugin[3], "audio differs from byte %d" % next(
                    (i for i, (a, b) in enumerate(zip(fragment[3], plugin[3])) if a != b), -1))

    def test_avisynth_fragment_stops_on_another_source(self):
        _, texts = self.export(os.path.join(DATA, "three_ranges.vcf"), SMALL, "avs")
        frames, num, den, rate, channels, bits, samples = self.source(SMALL)
        others = [((frames + 1, num, den, rate, channels, bits, samples), "--frames 101"),
                  ((frames, 30, 1, rate, channels, bits, samples), "--fps 30/1"),
                  ((frames, num, den, 2000, channels, bits, samples), "--audio-rate 2000"),
                  ((frames, num, den, rate, 1, bits, samples), "--channels 1"),
                  ((frames, num, den, rate, channels, 8, samples), "--sample-type u8"),
                  ((frames, num, den, rate, channels, 0, samples), "--sample-type float"),
                  ((frames, num, den, rate, channels, bits, 4001), "--audio-samples 4001")]
        for source, advice in others:
            with self.subTest(advice):
                args = ["--frames", str(source[0]), "--fps", "%d/%d" % source[1:3], "--audio-rate", str(source[3]),
                        "--channels", str(source[4]), "--sample-type",
                        {v: k for k, v in SAMPLE_BITS.items()}[source[5]], "--audio-samples", str(source[6])]
                status, _, error, _ = self.dump("TestSource()\n" + texts["avs"], args)
                self.assertEqual(status, 1)
                self.assertIn("jobcut-inspect made this cut for a clip of", error)
                self.assertIn("run it again with " + advice, error)

    def ffmpeg_source(self, args, size="16x2"):
        """A lavfi source whose frames show their number in two pixels and whose samples hold (number + 1) / 2^24."""
        frames, num, den, rate, channels, _, samples = self.source(args)
        video = ("nullsrc=s=%s:r=%d/%d,trim=end_frame=%d,format=gray,"
                 "geq=lum='if(lt(X\\,8)\\,mod(N\\,256)\\,mod(floor(N/256)\\,256))'" % (size, num, den, frames))
        if rate == 0:
            return video + "[out0]"
        value = "(n+1)/16777216"
        return video + "[out0];aevalsrc='%s':s=%d:c=%dc,atrim=end_sample=%d[out1]" % (
            "|".join([value] * channels), rate, channels, samples)

    def test_ffmpeg_graph_gives_the_probed_frames_and_samples(self):
        ffmpeg = self.need("ffmpeg")
        for path, args in self.cases:
            for audio in (True, False):
                run_args = args + ([] if audio else ["--audio-rate", "0"])
                with self.subTest(path=os.path.basename(path), args=run_args):
                    result, texts = self.export(path, run_args, "ffmpeg")
                    if not result["ok"]:
                        self.assertIsNone(texts["ffmpeg"])
                        continue
                    self.assertEqual("[a]" in texts["ffmpeg"], audio)
                    frames, _, _, rate, channels, bits, samples = self.source(run_args)
                    count, total = result["num_frames"], result["num_audio_samples"]
                    _, probed = json_of(*run_args, "--map-frames", "0:%d" % (count - 1), "--audio-request",
                                        "0:%d" % total, path, cwd=self.folder)
                    want_frames = [min(max(f["source"], 0), frames - 1) for f in probed["frames"]]
                    bps = channels * {8: 1, 16: 2, 24: 3, 32: 4, 0: 4}[bits]
                    want_samples = [-1] * total
                    for request in probed["audio_requests"]:
                        first = request["offset_bytes"] // bps
                        for i in range(request["count"]):
                            source_sample = request["start"] + i
                            want_samples[first + i] = source_sample if 0 <= source_sample < samples else -1
                    graph, video, sound = (os.path.join(self.folder, n) for n in ("g.txt", "v.raw", "a.raw"))
                    with open(graph, "w") as f:
                        f.write(texts["ffmpeg"])
                    command = [ffmpeg, "-v", "error", "-y", "-f", "lavfi", "-i", self.ffmpeg_source(run_args),
                               "-filter_complex_script", graph, "-map", "[v]", "-f", "rawvideo", "-pix_fmt", "gray",
                               video]
                    if audio:
                        command += ["-map", "[a]", "-f", "f32le", "-c:a", "pcm_f32le", sound]
                    done = subprocess.run(command, capture_output=True, text=True)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    with open(video, "rb") as f:
                        data = f.read()
                    self.assertEqual([data[i] + 256 * data[i + 8] for i in range(0, len(data), 32)], want_frames)
                    if audio:
                        with open(sound, "rb") as f:
                            data = f.read()
                        values = struct.unpack("<%df" % (len(data) // 4), data)[::channels]
                        self.assertEqual([round(v * 16777216) - 1 for v in values], want_samples)

    def boundaries(self, result):
        return [row["frame_end"] for row in result["rows"][:-1]]

    def test_qpfile_and_chapters_text(self):
        result, texts = self.export(os.path.join(DATA, "three_ranges.vcf"), SMALL, "qpfile", "chapters")
        self.assertEqual(texts["qpfile"], "5 I -1\n8 I -1\n")
        self.assertEqual(texts["chapters"], ";FFMETADATA1\n" + "".join(
            "\n[CHAPTER]\nTIMEBASE=1/25\nSTART=%d\nEND=%d\ntitle=Range %d, %s: source frames %s\n" % chapter
            for chapter in [(0, 5, 1, "range", "10..14"), (5, 8, 2, "masked", "30..32"), (8, 12, 3, "range", "50..53")]))
        for path, args in self.cases:
            with self.subTest(path=os.path.basename(path)):
                result, texts = self.export(path, args, "qpfile", "chapters")
                if not result["ok"]:
                    self.assertEqual(texts, {"qpfile": None, "chapters": None})
                    continue
                self.assertEqual(texts["qpfile"], "".join("%d I -1\n" % b for b in self.boundaries(result)))
                self.assertEqual(texts["chapters"].count("[CHAPTER]"), len(result["rows"]))

    def test_encoder_keyframes_and_chapters(self):
        ffmpeg, x264, ffprobe = self.need("ffmpeg"), self.need("x264"), self.need("ffprobe")
        cases = [c for c in self.cases if os.path.basename(c[0]) in (
            "cuts.vcf", "three_ranges.vcf", "masked_run.vcf", "after_every_kind.vcf", "random1.vcf", "random4.vcf")]
        for path, args in cases:
            with self.subTest(path=os.path.basename(path)):
                args = args + ["--audio-rate", "0"]
                result, texts = self.export(path, args, "ffmpeg", "qpfile", "chapters")
                _, num, den, *_ = self.source(args)
                names = {n: os.path.join(self.folder, n) for n in ("g.txt", "q.txt", "c.txt", "o.264", "o.mkv")}
                for kind, name in (("ffmpeg", "g.txt"), ("qpfile", "q.txt"), ("chapters", "c.txt")):
                    with open(names[name], "w") as f:
                        f.write(texts[kind])
                render = subprocess.Popen([ffmpeg, "-v", "error", "-f", "lavfi", "-i",
                                           self.ffmpeg_source(args, "32x32"), "-filter_complex_script", names["g.txt"],
                                           "-map", "[v]", "-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", "-"],
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                encode = subprocess.run([x264, "--quiet", "--preset", "ultrafast", "--keyint", "infinite",
                                         "--no-scenecut", "--demuxer", "y4m", "--qpfile", names["q.txt"], "-o", names["o.264"], "-"],
                                        stdin=render.stdout, capture_output=True, text=True)
                render.stdout.close()
                self.assertEqual((render.wait(), encode.returncode), (0, 0), encode.stderr)
                keys = [frame["key_frame"] for frame in json.loads(subprocess.run(
                    [ffprobe, "-v", "error", "-select_streams", "v", "-show_entries", "frame=key_frame", "-of", "json",
                     names["o.264"]], capture_output=True, text=True, check=True).stdout)["frames"]]
                self.assertEqual(len(keys), result["num_frames"])
                self.assertEqual([n for n, key in enumerate(keys) if key == 1], [0] + self.boundaries(result))
                subprocess.run([ffmpeg, "-v", "error", "-y", "-i", names["o.264"], "-i", names["c.txt"], "-map", "0",
                                "-map_metadata", "1", "-c", "copy", names["o.mkv"]], check=True)
                chapters = json.loads(subprocess.run([ffprobe, "-v", "error", "-show_chapters", "-of", "json",
                                                      names["o.mkv"]], capture_output=True, text=True,
                                                     check=True).stdout)["chapters"]
                nanoseconds = lambda frame: (2 * frame * den * 10 ** 9 + num) // (2 * num)
                starts = [0] + [row["frame_end"] for row in result["rows"][:-1]]
                self.assertEqual([(c["start"], c["end"]) for c in chapters],
                                 [(nanoseconds(s), nanoseconds(r["frame_end"])) for s, r in zip(starts, result["rows"])])
                self.assertEqual([c["tags"]["title"].split(":")[0] for c in chapters],
                                 ["Range %d, %s" % (i + 1, "masked" if r["masked"] else "range")
                                  for i, r in enumerate(result["rows"])])

    def test_refused_file_writes_no_export(self):
        for name in ("zero_count.vcf", "expression_count.vcf"):
            with self.subTest(name):
                result, texts = self.export(os.path.join(DATA, name), [], "avs", "ffmpeg", "qpfile", "chapters")
                self.assertFalse(result["ok"])
                self.assertEqual(set(texts.values()), {None})

    def test_file_without_subset_lines_leaves_the_clip_whole(self):
        _, texts = self.export(os.path.join(DATA, "no_subset.vcf"), SMALL, "avs", "qpfile")
        self.assertEqual(texts["avs"].splitlines()[1:], [
            "# The file holds no subset line: Jobcut leaves the clip whole, and so does this.", "last"])
        self.assertEqual(texts["qpfile"], "")

if __name__ == "__main__":
    unittest.main()
