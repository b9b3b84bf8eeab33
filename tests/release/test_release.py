#!/usr/bin/env python3
"""What a user gets: the plain install, the release package, and the Windows
build of jobcut-inspect, which must say what the Linux build says. Each
TestCase class is one ctest entry."""
import json
import os
import sys
import shutil
import subprocess
import tempfile
import unittest
import zipfile

BUILD = os.environ["JOBCUT_BUILD"]
ROOT = os.environ["JOBCUT_SOURCE_ROOT"]
VERSION = os.environ["JOBCUT_VERSION"]
INSPECT = os.environ["JOBCUT_INSPECT"]
CHECK_DLL = os.environ.get("JOBCUT_CHECK_DLL", "")
INSPECT_EXE = os.environ.get("JOBCUT_INSPECT_EXE", "")
WINE64 = os.environ.get("JOBCUT_WINE64", "")
VSPIPE = os.environ.get("JOBCUT_VSPIPE", "")
PLUGIN = os.environ.get("JOBCUT_PLUGIN", "")
DATA = os.path.join(ROOT, "tests", "inspect", "data")
EXAMPLE = ["--frames", "36000", os.path.join("examples", "cuts.vcf")]

PACKAGE_FILES = {
    "x86/jobcut.dll", "x64/jobcut.dll", "windows-x64/jobcut-inspect.exe", "linux-x86_64/libjobcut.so",
    "linux-x86_64/jobcut-inspect", "examples/cuts.vcf", "README.md", "LICENSE", "CHANGELOG.md", "SHA256SUMS"}


def files_under(folder):
    return {os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/")
            for top, _, names in os.walk(folder) for name in names}


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


class Install(unittest.TestCase):
    def install(self, *options, destdir=None):
        env = dict(os.environ)
        if destdir:
            env["DESTDIR"] = destdir
        done = run(["cmake", "--install", BUILD, *options], env=env)
        self.assertEqual(done.returncode, 0, done.stderr)

    def test_a_plain_install_holds_the_plugin_the_inspector_and_the_documents(self):
        with tempfile.TemporaryDirectory() as destdir:
            self.install("--prefix", "/usr/local", destdir=destdir)
            prefix = os.path.join(destdir, "usr", "local")
            self.assertEqual(files_under(destdir), {
                "usr/local/lib/avisynth/libjobcut.so", "usr/local/lib/vapoursynth/libjobcut.so",
                "usr/local/bin/jobcut-inspect",
                "usr/local/share/doc/jobcut/README.md", "usr/local/share/doc/jobcut/LICENSE",
                "usr/local/share/doc/jobcut/CHANGELOG.md"})
            done = run([os.path.join(prefix, "bin", "jobcut-inspect"), "--version"])
            self.assertEqual(done.stdout, f"jobcut-inspect {VERSION}\n")
            for name in ("README.md", "LICENSE", "CHANGELOG.md"):
                with open(os.path.join(prefix, "share", "doc", "jobcut", name), "rb") as got, \
                        open(os.path.join(ROOT, name), "rb") as source:
                    self.assertEqual(got.read(), source.read(), name)

    def test_a_per_user_install_lands_where_avisynth_autoloads(self):
        with tempfile.TemporaryDirectory() as home:
            self.install("--prefix", os.path.join(home, ".local"))
            self.assertTrue(os.path.isfile(os.path.join(home, ".local", "lib", "avisynth", "libjobcut.so")))
            # VapourSynth loads a user folder only when vapoursynth.conf names it: this one.
            self.assertTrue(os.path.isfile(os.path.join(home, ".local", "lib", "vapoursynth", "libjobcut.so")))


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip_path = os.path.join(BUILD, f"jobcut-{VERSION}.zip")
        cls.folder = tempfile.mkdtemp()
        with zipfile.ZipFile(cls.zip_path) as archive:
            archive.extractall(cls.folder)
            cls.modes = {info.filename: info.external_attr >> 16 for info in archive.infolist()}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_layout(self):
        self.assertEqual(files_under(self.folder), PACKAGE_FILES)

    def test_checksums_cover_every_other_file(self):
        done = run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=self.folder)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(self.path("SHA256SUMS")) as sums:
            listed = {line.split("  ", 1)[1].rstrip("\n") for line in sums}
        self.assertEqual(listed, PACKAGE_FILES - {"SHA256SUMS"})

    def test_the_windows_binaries_pass_the_static_check(self):
        for command in (["x86", self.path("x86/jobcut.dll"), VERSION], ["x64", self.path("x64/jobcut.dll"), VERSION],
                        ["exe", self.path("windows-x64/jobcut-inspect.exe")]):
            done = run([CHECK_DLL, *command])
            self.assertEqual(done.returncode, 0, done.stdout)

    def test_the_linux_plugin_exports_only_its_entry(self):
        done = run([os.path.join(ROOT, "tests", "linux_host", "check_exports.sh"), self.path("linux-x86_64/libjobcut.so")])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_the_packaged_inspector_runs_on_the_packaged_example(self):
        inspector = self.path("linux-x86_64/jobcut-inspect")
        self.assertTrue(self.modes["linux-x86_64/jobcut-inspect"] & 0o111, "not executable once unpacked")
        os.chmod(inspector, 0o755)
        packaged = run([inspector, *EXAMPLE], cwd=self.folder)
        built = run([INSPECT, *EXAMPLE], cwd=ROOT)
        self.assertEqual(packaged.returncode, 0, packaged.stderr)
        self.assertEqual(packaged.stdout, built.stdout)
        self.assertIn("total: 23776 frames", packaged.stdout)
        self.assertEqual(run([inspector, "--version"]).stdout, f"jobcut-inspect {VERSION}\n")


class WindowsInspect(unittest.TestCase):
    """jobcut-inspect.exe under wine64 against the Linux build, byte for byte
    but for line endings (the Windows console writes CR LF)."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp()
        cls.env = dict(os.environ, WINEPREFIX=os.path.join(cls.root, "prefix"), WINEARCH="win64", WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=", WINELOADER=WINE64)
        # The first program of a new prefix creates it and starts wine's services,
        # which inherit its output: let that be a run whose output nobody reads.
        subprocess.run([WINE64, INSPECT_EXE, "--version"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.work = os.path.join(cls.root, "work")
        os.makedirs(os.path.join(cls.work, "examples"))
        shutil.copy(os.path.join(ROOT, "examples", "cuts.vcf"), os.path.join(cls.work, "examples"))
        shutil.copy(os.path.join(ROOT, "examples", "two-pass.jobs"), cls.work)
        for name in os.listdir(DATA):
            shutil.copy(os.path.join(DATA, name), cls.work)
        with open(os.path.join(cls.work, "too_big.vcf"), "w") as f:
            f.write("/" * 131073)
        with open(os.path.join(cls.work, "too_many.vcf"), "w") as f:
            f.write("VirtualDub.subset.AddRange(1,1);\n" * 257)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([os.path.join(os.path.dirname(WINE64), "wineserver"), "-k"], env=cls.env,
                       capture_output=True)
        shutil.rmtree(cls.root)

    def both(self, linux_args, windows_args=None):
        """Runs both builds in the work folder; returns (Linux, Windows) results."""
        linux = subprocess.run([INSPECT, *linux_args], cwd=self.work, capture_output=True)
        windows = subprocess.run([WINE64, INSPECT_EXE, *(windows_args or linux_args)], cwd=self.work,
                                 capture_output=True, env=self.env, stdin=subprocess.DEVNULL)
        unix = lambda b: b.replace(b"\r\n", b"\n")
        return ((linux.returncode, linux.stdout, linux.stderr),
                (windows.returncode, unix(windows.stdout), unix(windows.stderr)))

    def test_the_example_as_table_json_and_picture(self):
        for extra in ([], ["--json"], ["--map-frames", "5100:5110", "--audio-request", "8176000:400"]):
            linux, windows = self.both([*EXAMPLE, *extra])
            self.assertEqual(linux[0], 0, linux[2])
            self.assertEqual(windows, linux, extra)
        for option, suffix in (("--svg", "svg"), ("--html", "html"), ("--avs", "avs"), ("--ffmpeg", "ffmpeg"),
                               ("--qpfile", "qpfile"), ("--chapters", "chapters")):
            linux, windows = self.both([*EXAMPLE, option, "linux." + suffix], [*EXAMPLE, option, "windows." + suffix])
            self.assertEqual(windows, linux)
            with open(os.path.join(self.work, "linux." + suffix), "rb") as a, \
                    open(os.path.join(self.work, "windows." + suffix), "rb") as b:
                self.assertEqual(b.read(), a.read(), option)

    def test_warnings(self):
        for name in ("two-pass.jobs", "expression_count.vcf", "selection.vcf", "long_blanks.vcf"):
            for extra, warned in (([], b"line "), (["--json"], b'"kind": ')):
                linux, windows = self.both(["--frames", "3000", *extra, name])
                self.assertIn(warned, linux[1], name)
                self.assertEqual(windows, linux, name)

    def test_refusals_have_the_same_message_and_exit_status(self):
        for name in ("missing.vcf", "too_big.vcf", "too_many.vcf", "zero_count.vcf", "huge_number.vcf",
                     "too_many_frames.vcf"):
            for extra in ([], ["--json"]):
                linux, windows = self.both([*extra, name])
                self.assertEqual(linux[0], 1, name)
                self.assertEqual(windows, linux, name)
        linux, windows = self.both(["--frames", "x", "cuts.vcf"])
        self.assertEqual((linux[0], windows), (2, linux))

    def test_file_names_with_backslashes_and_a_drive_letter(self):
        unix_name = os.path.join(self.work, "examples", "cuts.vcf")
        drive_name = "Z:" + unix_name.replace("/", "\\")
        for linux_name, windows_name in ((unix_name, drive_name), ("examples/cuts.vcf", "examples\\cuts.vcf"),
                                         (unix_name + ".missing", drive_name + ".missing")):
            linux, windows = self.both(["--frames", "36000", linux_name], ["--frames", "36000", windows_name])
            named = lambda b: b.replace(windows_name.encode(), linux_name.encode())
            self.assertIn(windows_name.encode(), windows[1] + windows[2])
            self.assertEqual((windows[0], named(windows[1]), named(windows[2])), linux, windows_name)


class ReadmeScript(unittest.TestCase):
    """The README's VapourSynth script, as written but for the plug-in's path,
    and its vspipe commands."""

    def test_the_readme_script_renders_the_cut(self):
        with open(os.path.join(ROOT, "README.md")) as f:
            blocks = f.read().split("```python\n")[1:]
        scripts = [b.split("```")[0] for b in blocks if "set_output(1)" in b]
        self.assertEqual(len(scripts), 1, "one whole script in the README")
        self.assertIn('"/path/to/libjobcut.so"', scripts[0])
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "cut.vpy"), "w") as f:
                f.write(scripts[0].replace("/path/to/libjobcut.so", PLUGIN))
            shutil.copy(os.path.join(ROOT, "examples", "cuts.vcf"), work)
            info = run([VSPIPE, "--info", "cut.vpy"], cwd=work)
            self.assertEqual(info.returncode, 0, info.stderr)
            inspected = run([INSPECT, "--frames", "36000", "--fps", "30000/1001", "--json", "cuts.vcf"], cwd=work)
            frames = json.loads(inspected.stdout)["num_frames"]
            self.assertIn(f"Frames: {frames}\n", info.stdout)
            self.assertIn("FPS: 30000/1001", info.stdout)
            # The README's commands, over the first frames of each output.
            encoded = subprocess.run(f"{VSPIPE} -c y4m -e 4 cut.vpy - | x264 --demuxer y4m -o cut.264 -",
                                     shell=True, cwd=work, capture_output=True, text=True)
            self.assertEqual(encoded.returncode, 0, encoded.stderr)
            self.assertGreater(os.path.getsize(os.path.join(work, "cut.264")), 0)
            wav = run([VSPIPE, "-o", "1", "-e", "4", "-c", "wav", "cut.vpy", "cut.wav"], cwd=work)
            self.assertEqual(wav.returncode, 0, wav.stderr)
            with open(os.path.join(work, "cut.wav"), "rb") as f:
                self.assertEqual(f.read(4), b"RIFF")
            # A settings file that is not there: the message, and vspipe stops.
            os.remove(os.path.join(work, "cuts.vcf"))
            failed = run([VSPIPE, "--info", "cut.vpy"], cwd=work)
            self.assertNotEqual(failed.returncode, 0)
            self.assertIn('vapoursynth.Error: Jobcut: file not found - "cuts.vcf"', failed.stderr)

    def test_wrong_calls_raise_vapoursynths_own_error(self):
        """A missing or wrongly typed argument: VapourSynth's own error (the
        core's vapoursynth.Error, or its Python module's TypeError for a value
        it cannot convert), in a Python that goes on running."""
        calls = [
            ("Jobcut(video)", "Error: Jobcut: argument filename is required"),
            ("Jobcut(video, ['a.vcf', 'b.vcf'])", "Error: Jobcut: argument filename is not of array type"),
            ("Jobcut(audio, 'cuts.vcf')", "Error: Jobcut: argument clip was passed an unsupported type"),
            ("Jobcut(clip=video, file='cuts.vcf')", "Error: Jobcut: Function does not take argument(s) named file"),
            ("JobcutAudio(audio, 'cuts.vcf', fpsnum=25)", "Error: JobcutAudio: argument fpsden is required"),
            ("JobcutAudio(audio, 'cuts.vcf', fpsnum=video, fpsden=1)", "TypeError: int() argument must be"),
            ("JobcutAudio(audio, 'cuts.vcf', fpsnum=0, fpsden=1)", "Error: JobcutAudio: fpsnum and fpsden must be"),
        ]
        program = "\n".join([
            "import sys, vapoursynth as vs",
            "from vapoursynth import core",
            f"core.std.LoadPlugin({PLUGIN!r})",
            "video = core.std.BlankClip(length=100)",
            "audio = core.std.BlankAudio(length=100000)",
            "for call in sys.argv[1:]:",
            "    try:",
            "        eval('core.jobcut.' + call)",
            "        print('no error')",
            "    except (vs.Error, TypeError) as e:",
            "        print(type(e).__name__ + ': ' + str(e).replace('\\n', ' '))",
            "print('still running')"])
        done = run([sys.executable, "-c", program, *[call for call, _ in calls]])
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(lines[-1], "still running")
        self.assertEqual(len(lines), len(calls) + 1, done.stdout)
        for (call, error), line in zip(calls, lines):
            self.assertTrue(line.startswith(error), f"{call}: {line}")

if __name__ == "__main__":
    unittest.main()
