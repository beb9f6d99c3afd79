"""What the benchmark's parts share: the programs and packages measured, the targets and limits
that both the checks and the report state, the prefixes, and build/bench/results.json."""
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Tuple

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import wine  # noqa: E402  (first: it puts tests/kit on the path)
from make_kit import Package, Payload  # noqa: E402

WORK = wine.BUILD / "bench"  # beside the prefix cache: copies are hard links
RESULTS = WORK / "results.json"
# What is measured, copied once: the build tree may be rebuilt while the benchmark runs.
SETUP = WORK / "setup.exe"
# An older setup.exe timed beside it (--compare), under its own name in the same kit.
OLD_SETUP = "setup-old.exe"
# setup.exe built with the bulk kit's seal; the build is kept between runs, only the seal changes.
SEALED_BUILD = WORK / "sealed-build"
# The sealed setup.exe's kit in the prefix: the package alone, as the seal lists it.
SEALED_KIT = "C:\\sealed"
# The decision's floor reads the package as a database; floor_package.exe opens it as an
# installer session; peer.exe is the decision built with makensis.
PROGRAMS = ("empty.exe", "floor.exe", "floor_package.exe", "peer.exe")
OUT = REPO / "docs" / "benchmarks.md"
KIND = "win64-en"

PACKAGE = Package("qv_x64_kc1_eng.msi")
# A product's bulk: about a thousand files, 20 MiB, a few folders, one embedded cabinet.
BULK = Package("qv_x64_kc1_eng.msi", payload=Payload(999, 20 * 1024 * 1024))
# setup.exe is 32-bit: its system32\msiexec.exe is this one. Named directly, `wine` starts it
# without the start.exe hop it takes for a 64-bit path, so both sides start the same program.
MSIEXEC = r"C:\windows\syswow64\msiexec.exe"
FOLDER_SIZES = (10, 1000, 10000)
# Kinds of files a download folder collects; none is a package, a certificate or a DLL.
JUNK_SUFFIXES = (".txt", ".pdf", ".jpg", ".zip", ".log", ".dat", ".htm", ".docx")

# `wine` keeps only the low 8 bits of a Windows exit code.
EXIT_SAME_VERSION = 3
EXIT_BAD_COMMAND_LINE = 1639
ERROR_UNKNOWN_PRODUCT = 1605

# The limits: the report states them and judges by them.
SIZE_LIMIT = 128 * 1024
TARGETS = {"floor": 1.05, "peer": 1.00, "before": 1.00, "bad option": 1.5, "install": 1.10,
           "bulk": 1.03, "scaling": 2.0, "log": 1.05}
SEAL_SHARE = 0.03  # the seal check's share of the sealed installation
TIMED = ("decision", "install", "bulk", "scaling")  # the results that are hyperfine series

# setup.exe's log where it cannot be created: the same run without the log's cost.
NO_LOG = ["-log", r"C:\nowhere\setup.log"]
# hyperfine's names of the commands, which the report looks the series up by.
DECIDE, DECIDE_NO_LOG, DECIDE_OLD = ("setup.exe -silent", "setup.exe -silent, no log",
                                     f"{OLD_SETUP} -silent")
BOGUS = "setup.exe -silent -bogus"
SETUP_INSTALL = "setup.exe -silent -noreboot"
SETUP_INSTALL_QN = "setup.exe -silent -noreboot -args /qn"
SETUP_INSTALL_QN_NO_LOG = "setup.exe -silent -noreboot -args /qn, no log"
SEALED_INSTALL_QN = "sealed setup.exe -silent -noreboot -args /qn"
BY_HAND = "msiexec /i … /qn REBOOT=R, then the tool"
# The properties that both floors print with -print.
FLOOR_PROPERTIES = ("ProductCode", "UpgradeCode", "ProductVersion", "ProductName")

Phase = Tuple[float, int]  # milliseconds, calls
START, END = "start:", "exit:"


def say(text: str = "") -> None:
    print(text, flush=True)


def num(n: int) -> str:
    return f"{n:,}".replace(",", " ")


def low8(code: int) -> int:
    return code & 0xFF


def q(text: str) -> str:
    return shlex.quote(text)


def check(what: str, got, want) -> None:
    if got != want:
        raise RuntimeError(f"{what}: got {got!r}, expected {want!r}")


class Series:
    """Wall-clock seconds of one command over all rounds."""

    def __init__(self, label: str, times: Sequence[float]):
        self.label = label
        self.times = sorted(times)

    @property
    def min(self) -> float:
        return self.times[0]

    @property
    def median(self) -> float:
        return statistics.median(self.times)

    @property
    def max(self) -> float:
        return self.times[-1]

    def ms(self) -> Tuple[str, str, str]:
        return tuple(f"{v * 1000:.1f}" for v in (self.min, self.median, self.max))


def ratio(a: Series, b: Series) -> Tuple[float, float]:
    """(ratio of the medians, ratio of the minimums, the least disturbed runs)."""
    return a.median / b.median, a.min / b.min


# --- results.json ------------------------------------------------------------------------------

def load_results(path: Path = RESULTS) -> dict:
    """What the parts have recorded so far, hyperfine series and phases as the report takes them."""
    if not path.exists():
        return {}
    data = json.loads(path.read_text())
    for key in TIMED:
        if key in data:
            data[key] = {name: Series(name, times) for name, times in data[key].items()}
    if "phases" in data:
        data["phases"] = {run: {label: tuple(v) for label, v in phases.items()}
                          for run, phases in data["phases"].items()}
    return data


def save_results(data: dict, path: Path = RESULTS) -> None:
    raw = {k: ({n: s.times for n, s in v.items()} if k in TIMED else v) for k, v in data.items()}
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(raw, indent=1, default=str))


# --- the prefixes ------------------------------------------------------------------------------

def prepare_work(compare: Optional[Path] = None, copy: bool = True) -> None:
    """build/bench without a stale run's prefixes (their wineservers ended first); with `copy`,
    the programs to measure copied in afresh."""
    WORK.mkdir(parents=True, exist_ok=True)
    for stale in WORK.iterdir():
        if stale.is_dir() and stale != SEALED_BUILD:
            subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(stale)},
                           capture_output=True)
            shutil.rmtree(stale)
    if not copy:
        return
    (WORK / OLD_SETUP).unlink(missing_ok=True)
    shutil.copy2(wine.SETUP_EXE, SETUP)
    for program in PROGRAMS:
        shutil.copy2(wine.KIT_BIN / program, WORK / program)
    if compare:
        shutil.copy2(compare, WORK / OLD_SETUP)


def missing_programs() -> List[Path]:
    return [p for p in (wine.SETUP_EXE, wine.KIT_BIN / "ui_driver.exe",
                        *(wine.KIT_BIN / p for p in PROGRAMS)) if not p.exists()]


class Bench:
    """The benchmark's prefixes under build/bench, on one Xvfb display."""

    def __init__(self):
        self.cache = wine.PrefixCache()
        self.prefixes: List[wine.Prefix] = []
        self.seconds = 0.0  # spent making the common prefixes
        self.xvfb, self.display = wine.start_display()

    def prefix(self, name: str, package: Package = PACKAGE) -> wine.Prefix:
        """A prefix copy with the package and the measured programs in C:\\kit, kept warm."""
        path = WORK / name
        wine.copy_prefix(self.cache.pristine(KIND), path)
        prefix = wine.Prefix(path, KIND, self.display)
        self.prefixes.append(prefix)
        prefix.add_packages(package)
        for program in ("setup.exe", OLD_SETUP, *PROGRAMS):
            if (WORK / program).exists():
                shutil.copy2(WORK / program, prefix.kit / program)
        # An idle message box: its wineserver, services and desktop stay up between the timed
        # runs, so no run pays for their start.
        prefix.start(["C:\\tools\\ui_driver.exe", "msgbox", "bench keeper", "idle"])
        if not prefix.wait_window("bench keeper", 60000):
            raise RuntimeError(f"the keeper did not start in {path}")
        return prefix

    def decided(self) -> wine.Prefix:
        """A prefix with the package installed: setup.exe decides "same version" there."""
        decided = self.prefix("decided")
        check("installation", decided.setup(["-silent", "-noreboot"]), 0)
        check("same version", decided.setup(["-silent"]), EXIT_SAME_VERSION)
        check("bad option", decided.setup(["-silent", "-bogus"]), EXIT_BAD_COMMAND_LINE)
        return decided

    def common(self) -> Tuple[wine.Prefix, wine.Prefix, Dict[int, str]]:
        """The prefixes both timing and tracing use: the decided one with its folders of
        unrelated files, and one where the product is not installed."""
        started = time.monotonic()
        decided = self.decided()
        folders = fill_folders(decided)
        fresh = self.prefix("fresh")
        self.seconds = time.monotonic() - started
        return decided, fresh, folders

    def close(self) -> None:
        for prefix in self.prefixes:
            prefix.kill()
        self.xvfb.terminate()
        self.xvfb.wait(10)

    def remove(self) -> None:
        for prefix in self.prefixes:
            shutil.rmtree(prefix.path, ignore_errors=True)


def fill_folders(prefix: wine.Prefix) -> Dict[int, str]:
    """Folders of setup.exe, empty.exe and the package beside unrelated files, by their count."""
    folders = {}
    for count in FOLDER_SIZES:
        folder = prefix.drive_c / f"files{count}"
        folder.mkdir()
        for name in ("setup.exe", "empty.exe", PACKAGE.file_name):
            os.link(prefix.kit / name, folder / name)
        for i in range(count):
            suffix = JUNK_SUFFIXES[i % len(JUNK_SUFFIXES)]
            (folder / f"download-{i:05d}{suffix}").write_bytes(b"unrelated\r\n")
        folders[count] = prefix.win(folder)
    return folders


def uninstall_command(package: Package = PACKAGE) -> str:
    # Nothing to remove is fine: the first run starts from a fresh prefix.
    return (f"wine {q(MSIEXEC)} /x {q(package.product_code)} /qn; rc=$?; "
            f"test $rc -eq 0 -o $rc -eq {low8(ERROR_UNKNOWN_PRODUCT)}")
