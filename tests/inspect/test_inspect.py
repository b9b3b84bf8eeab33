#!/usr/bin/env python3
"""Runs the built jobcut-inspect as a user does and checks what it prints,
writes and exits with. Each TestCase class is one ctest entry."""
import json
import os
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

INSPECT = os.environ["JOBCUT_INSPECT"]
ROOT = os.environ["JOBCUT_SOURCE_ROOT"]
DATA = os.path.join(ROOT, "tests", "inspect", "data")
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
        # 100000 frames at 30000/1001 fps last 160160000 samples at 48000 Hz.
        self.assertIn("160160000 audio samples", self.table("no_subset.vcf")[-1])
        self.assertEqual(self.table(*SMALL, "--audio-samples", "123", "no_subset.vcf")[-1],
                         "total: 100 frames, 00:00:04.000, 123 audio samples")
        self.assertEqual(self.table(*SMALL, "--audio-rate", "0", "no_subset.vcf")[-1],
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
                                  "frames": [], "audio_requests": [], "silence": []})
        self.assertEqual(list(result), ["ok", "num_frames", "num_audio_samples", "rows", "frames",
                                        "audio_requests", "silence"])

    def test_failure(self):
        done = run("--json", "nothing.vcf")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(json.loads(done.stdout), {"ok": False, "error": 'Jobcut: file not found - "nothing.vcf"'})
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
        self.assertEqual(json_of(name, cwd=cwd), (1, {"ok": False, "error": message}))

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


class Readme(unittest.TestCase):
    def test_shown_table_and_picture_are_current(self):
        with open(os.path.join(ROOT, "README.md")) as f:
            readme = f.read().splitlines()
        start = next(i for i, line in enumerate(readme) if line.startswith("$ build/tools/jobcut-inspect "))
        end = readme.index("```", start)
        args = readme[start].split()[1:]
        with open(os.path.join(ROOT, "tools", "build.sh")) as f:
            self.assertIn(readme[start][2:] + "\n", f.read())
        with tempfile.TemporaryDirectory() as folder:
            picture = os.path.join(folder, "t.svg")
            args[args.index("--svg") + 1] = picture
            done = subprocess.run([INSPECT, *args[1:]], cwd=ROOT, capture_output=True, text=True)
            self.assertEqual(done.stdout.splitlines(), readme[start + 1:end])
            with open(picture) as made, open(os.path.join(ROOT, "examples", "cuts-timeline.svg")) as shown:
                self.assertEqual(made.read(), shown.read())


if __name__ == "__main__":
    unittest.main()
