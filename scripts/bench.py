#!/usr/bin/env python3
"""Times setup.exe under Wine against plain baselines and a peer, side by side with hyperfine,
and writes docs/benchmarks.md. Run it through scripts/bench.sh, which builds first.

The machine is shared and noisy, so every measurement is a ratio of two commands timed in the
same hyperfine run, repeated over rounds that alternate the order of the commands."""
import argparse
import datetime
import json
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Tuple

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import wine  # noqa: E402  (first: it puts tests/kit on the path)
from make_kit import PAYLOAD_FOLDERS, Package, Payload  # noqa: E402

WORK = wine.BUILD / "bench"  # beside the prefix cache: copies are hard links
# What is measured, copied once: the build tree may be rebuilt while the benchmark runs.
SETUP = WORK / "setup.exe"
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

SIZE_LIMIT = 100 * 1024
TIMED = ("decision", "install", "bulk", "scaling")  # the results that are hyperfine series
TARGETS = {"floor": 1.05, "peer": 1.00, "bad option": 1.5, "install": 1.10, "bulk": 1.03,
           "scaling": 2.0, "log": 1.05}
# setup.exe's log where it cannot be created: the same run without the log's cost.
NO_LOG = ["-log", r"C:\nowhere\setup.log"]


def say(text: str = "") -> None:
    print(text, flush=True)


def num(n: int) -> str:
    return f"{n:,}".replace(",", " ")


def low8(code: int) -> int:
    return code & 0xFF


def q(text: str) -> str:
    return shlex.quote(text)


# --- numbers ----------------------------------------------------------------------------------

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


# --- hyperfine --------------------------------------------------------------------------------

def hyperfine(commands: Dict[str, str], env: Dict[str, str], cwd: Path, rounds: int, runs: int,
              warmup: int, prepare: Optional[str] = None) -> Dict[str, Series]:
    """Times the shell commands side by side; each round is one hyperfine run, and the order of
    the commands flips between rounds so a drift in the machine's load hits both sides."""
    times: Dict[str, List[float]] = {name: [] for name in commands}
    names = list(commands)
    for round_no in range(rounds):
        order = names if round_no % 2 == 0 else names[::-1]
        with tempfile.NamedTemporaryFile(suffix=".json") as export:
            argv = ["hyperfine", "--style", "none", "--runs", str(runs), "--warmup", str(warmup),
                    "--export-json", export.name]
            if prepare:
                argv += ["--prepare", prepare]
            for name in order:
                argv += ["--command-name", name, commands[name]]
            result = subprocess.run(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True)
            if result.returncode != 0:
                raise RuntimeError(f"hyperfine failed ({result.returncode}):\n"
                                   f"{result.stderr[-3000:]}")
            for entry in json.load(open(export.name))["results"]:
                times[entry["command"]].extend(entry["times"])
        say(f"    round {round_no + 1}/{rounds}: " + ", ".join(
            f"{n} {statistics.median(times[n]) * 1000:.0f} ms" for n in names))
    return {name: Series(name, t) for name, t in times.items()}


def hyperfine_version() -> str:
    return subprocess.run(["hyperfine", "--version"], capture_output=True,
                          text=True).stdout.strip()


# --- the prefixes -----------------------------------------------------------------------------

class Bench:
    def __init__(self, args):
        self.args = args
        self.cache = wine.PrefixCache()
        self.prefixes: List[wine.Prefix] = []
        self.xvfb, self.display = wine.start_display()

    def prefix(self, name: str, package: Package = PACKAGE) -> wine.Prefix:
        """A prefix copy with the package and the measured programs in C:\\kit, kept warm."""
        path = WORK / name
        wine.copy_prefix(self.cache.pristine(KIND), path)
        prefix = wine.Prefix(path, KIND, self.display)
        self.prefixes.append(prefix)
        prefix.add_packages(package)
        for program in ("setup.exe", *PROGRAMS):
            shutil.copy2(WORK / program, prefix.kit / program)
        # An idle message box: its wineserver, services and desktop stay up between the timed
        # runs, so no run pays for their start.
        prefix.start(["C:\\tools\\ui_driver.exe", "msgbox", "bench keeper", "idle"])
        if not prefix.wait_window("bench keeper", 60000):
            raise RuntimeError(f"the keeper did not start in {path}")
        return prefix

    def close(self) -> None:
        for prefix in self.prefixes:
            prefix.kill()
        self.xvfb.terminate()
        self.xvfb.wait(10)


def wine_cmd(exe: str, *args: str, expect: Optional[int] = None) -> str:
    """A shell command for hyperfine; with `expect`, a different exit code fails the run."""
    line = " ".join(["wine", q(exe), *map(q, args)])
    return f"{line}; test $? -eq {low8(expect)}" if expect is not None else line


def check(what: str, got, want) -> None:
    if got != want:
        raise RuntimeError(f"{what}: got {got!r}, expected {want!r}")


# --- relay traces -----------------------------------------------------------------------------

Phase = Tuple[float, int]  # milliseconds, calls
START, END = "start:", "exit:"
OWN_CODE = "the program's own code between those calls"
RELAY_INCLUDE = ";".join([
    "msi.*", "shell32.IsUserAnAdmin", "advapi32.CheckTokenMembership", "kernel32.LoadLibraryExW",
    "kernel32.FindFirstFileW", "kernel32.FindClose", "kernel32.CreateProcessW",
    "kernel32.WaitForSingleObject", "user32.MsgWaitForMultipleObjectsEx", "kernel32.CreateFileW",
    "kernel32.WriteFile",
    "kernel32.ExitProcess", "combase.CoInitializeEx", "combase.CoInitialize",
    "combase.CoUninitialize"])
LINE = re.compile(r"^(\d+)\.(\d{3}):([0-9a-f]+):(Call|Ret)\s+([\w.]+)\((.*)$")


def relay_phases(prefix: wine.Prefix, folder: str, args: Sequence[str], runs: int,
                 prepare=None, program: str = "setup.exe") -> Dict[str, Phase]:
    """Runs the program with the top-level calls it makes traced; per phase the median over the
    runs, in milliseconds. Relay thunks slow the traced calls a little and the machine is
    noisy, so the shares matter more than the sums."""
    debug_key = r"HKCU\Software\Wine\Debug"
    # Only calls made by the program itself, and by the C runtime, whose exit() is what calls
    # ExitProcess: the DLLs' calls among themselves, and msiexec's, stay out of the trace.
    relay = {"RelayInclude": RELAY_INCLUDE, "RelayFromInclude": f"{program};msvcrt"}
    # A new prefix has a RelayFromExclude list, and while there is one Wine ignores
    # RelayFromInclude: it goes for the trace and comes back after.
    saved = prefix.reg_query(debug_key)
    exclude = saved.values.get("RelayFromExclude") if saved else None
    if exclude:
        prefix.wine(["reg", "delete", debug_key, "/v", "RelayFromExclude", "/f"], check=True)
    for name, value in relay.items():
        prefix.wine(["reg", "add", debug_key, "/v", name, "/d", value, "/f"], check=True)
    # Other messages would cut into the relay lines.
    env = {**prefix.env, "WINEDEBUG": "-all,+timestamp,+relay"}
    exe = folder + "\\" + program
    samples = []
    try:
        for _ in range(runs):
            if prepare:
                prepare()
            with tempfile.TemporaryFile() as err:
                # Wine stamps its traces with CLOCK_MONOTONIC_RAW in milliseconds.
                start = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
                subprocess.run(["wine", exe, *args], env=env, cwd=prefix.kit,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                               timeout=120)
                end = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
                err.seek(0)
                trace = err.read().decode(errors="replace").splitlines()
            samples.append(_phases(trace, start * 1000, end * 1000))
    finally:
        for name in relay:
            prefix.wine(["reg", "delete", debug_key, "/v", name, "/f"], check=True)
        if exclude:
            prefix.wine(["reg", "add", debug_key, "/v", "RelayFromExclude", "/t", exclude[0],
                         "/d", exclude[1], "/f"], check=True)
    labels = list(dict.fromkeys(k for sample in samples for k in sample))
    merged = {k: (statistics.median(s.get(k, (0.0, 0))[0] for s in samples),
                  max(s.get(k, (0.0, 0))[1] for s in samples)) for k in labels}
    start = [k for k in labels if k.startswith(START)]
    end = [k for k in labels if k.startswith(END)]
    middle = sorted((k for k in labels if k not in start + end), key=lambda k: -merged[k][0])
    return {k: merged[k] for k in start + middle + end}


def _label(name: str, args: str, last_started: str) -> str:
    if name.endswith("LoadLibraryExW"):
        dll = re.search(r'L"([^"]+)"', args)
        return f"loading {dll.group(1) if dll else '?'} and what it imports"
    if name == "msi.MsiOpenPackageExW":
        return "opening the package (MsiOpenPackageEx)"
    if name == "msi.MsiOpenDatabaseW":
        return "opening the package (MsiOpenDatabase)"
    if name.startswith("combase."):
        return "COM (CoInitialize, CoUninitialize)"
    if name.endswith(("FindFirstFileW", "FindClose")):
        return "folder searches (FindFirstFile, FindClose)"
    if name.endswith("CreateProcessW"):
        return "starting msiexec / the tool (CreateProcess)"
    if name.endswith(("WaitForSingleObject", "MsgWaitForMultipleObjectsEx")):
        return f"waiting for {last_started}"
    if name.endswith(("IsUserAnAdmin", "CheckTokenMembership")):
        return "administrator check"
    if name.endswith(("CreateFileW", "WriteFile")):
        return "the setup log (CreateFile, WriteFile)"
    if name.startswith("msi."):
        return "other installer calls"
    return name


def _phases(trace: List[str], launch_ms: float, end_ms: float) -> Dict[str, Phase]:
    calls = [m.groups() for m in map(LINE.match, trace) if m]
    if not calls:
        raise RuntimeError("no relay trace:\n" + "\n".join(trace[-20:]))
    main = calls[0][2]  # the program's main thread makes the first call
    phases: Dict[str, List[float]] = {}

    def add(label: str, ms: float) -> None:
        entry = phases.setdefault(label, [0.0, 0])
        entry[0] += ms
        entry[1] += 1

    stack: List[Tuple[str, str, int]] = []
    first = last_ret = exit_at = None
    last_started = "msiexec"
    for sec, msec, thread, kind, name, args in calls:
        if thread != main:
            continue
        t = int(sec) * 1000 + int(msec)
        if kind == "Call":
            if not stack:
                first = t if first is None else first
                if last_ret is not None:
                    add(OWN_CODE, t - last_ret)
                if name.endswith("ExitProcess"):
                    exit_at = t
                    break
                if name.endswith("CreateProcessW"):
                    last_started = "the tool" if "ordo_tool" in args else "msiexec"
            stack.append((name, args, t))
            continue
        # A trace line cut by another message loses its Call: match each Ret by name.
        match = next((i for i in range(len(stack) - 1, -1, -1) if stack[i][0] == name), None)
        if match is None:
            continue
        opened, opened_args, opened_at = stack[match]
        del stack[match:]
        if not stack:
            add(_label(opened, opened_args, last_started), t - opened_at)
            last_ret = t
    ordered: Dict[str, Phase] = {
        START + " from `wine` to the first traced call (loader, imports, C runtime, options)":
            (first - launch_ms, 1)}
    ordered.update(sorted(((k, (v[0], v[1])) for k, v in phases.items()),
                          key=lambda kv: -kv[1][0]))
    if exit_at is None:
        raise RuntimeError("the program's thread never reached ExitProcess in the relay trace")
    ordered[END + " ExitProcess to the process's end"] = (end_ms - exit_at, 1)
    return ordered


def loads(phases: Dict[str, Phase]) -> List[Tuple[str, float]]:
    """(DLL, ms) for each DLL setup.exe loads by hand, the slowest first."""
    found = [(re.match(r"loading (\S+)", k).group(1), ms) for k, (ms, _) in phases.items()
             if k.startswith("loading ")]
    return sorted(found, key=lambda kv: -kv[1])


def imports_text(imports: Dict[str, List[str]]) -> str:
    setup, empty = imports["setup.exe"], imports["empty.exe"]
    if setup == empty:
        return f"Both bind only {' and '.join(setup)} at start-up"
    return (f"empty.exe binds {', '.join(empty)} at start-up, setup.exe "
            f"{', '.join(setup)}")


def loads_text(phases: Dict[str, Phase]) -> str:
    found = loads(phases)
    if not found:
        return "no DLL"
    return ", ".join(f"{dll} {ms:.0f} ms" for dll, ms in found if ms >= 0.5)


def phase_ms(phases: Dict[str, Phase], prefix: str) -> Phase:
    """The phase whose label starts with `prefix`, or nothing."""
    return next((v for k, v in phases.items() if k.startswith(prefix)), (0.0, 0))


# --- peak memory ------------------------------------------------------------------------------

def peak_rss(prefix: wine.Prefix, argv: Sequence[str], expect: int) -> int:
    """Peak resident set (KiB) of the Unix process that hosts the program: `wine` execs Wine's
    loader in place, so it is the Windows process with Wine's runtime and DLLs mapped in.
    GNU time starts it: the kernel carries a parent's resident set over into its child's peak
    at exec, and Python's would swamp empty.exe's. Processes the program starts (msiexec,
    the tool) are not counted."""
    with tempfile.NamedTemporaryFile("r") as out:
        code = subprocess.run(["/usr/bin/time", "-o", out.name, "-f", "%M", "wine", *argv],
                              env=prefix.env, cwd=prefix.kit, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        check(" ".join(argv), code, low8(expect))
        return int(out.read().split()[-1])


# --- footprint --------------------------------------------------------------------------------

def pe_breakdown(exe: Path) -> Tuple[List[Tuple[str, int]], List[Tuple[str, int]]]:
    """(section name, bytes in the file) and (resource type, bytes)."""
    import pefile
    pe = pefile.PE(str(exe))
    sections = [(s.Name.rstrip(b"\0").decode(), s.SizeOfRawData) for s in pe.sections]
    names = {3: "icon images", 14: "icon directory", 5: "dialogs", 6: "string tables",
             16: "version", 24: "manifest", 11: "message tables"}
    resources: Dict[str, int] = {}

    def walk(entry, kind):
        if hasattr(entry, "directory"):
            for child in entry.directory.entries:
                walk(child, kind)
        elif hasattr(entry, "data"):
            resources[kind] = resources.get(kind, 0) + entry.data.struct.Size

    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            walk(entry, names.get(entry.id, str(entry.name or entry.id)))
    return sections, sorted(resources.items(), key=lambda kv: -kv[1])


def pe_imports(exe: Path) -> List[str]:
    import pefile
    pe = pefile.PE(str(exe), fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]


def linked_origins(work: Path) -> Optional[Dict[str, Dict[str, int]]]:
    """Links setup.exe again, as the build does, with a map, and sums each output section's
    input by where it came from: setup's own objects or a library. None if that fails."""
    build = wine.BUILD / "windows"
    link = build / "CMakeFiles" / "setup.dir" / "link.txt"
    if not link.exists():
        return None
    line = next((l for l in link.read_text().splitlines() if " -o setup.exe" in l), None)
    if line is None:
        return None
    exe, map_file = work / "setup-mapped.exe", work / "setup.map"
    line = line.replace(" -o setup.exe", f" -o {q(str(exe))}")
    line = re.sub(r" -Wl,--out-implib,\S+", "", line) + f" -Wl,-Map={q(str(map_file))}"
    if subprocess.run(line, shell=True, cwd=build, capture_output=True).returncode != 0:
        return None
    if exe.stat().st_size != SETUP.stat().st_size:
        return None  # not the same link: the map would not describe the measured file
    return _map_origins(map_file.read_text(errors="replace"))


def _map_origins(text: str) -> Dict[str, Dict[str, int]]:
    body = text.split("Linker script and memory map", 1)[-1]
    out: Dict[str, Dict[str, int]] = {}
    section = None
    pending = None
    for line in body.splitlines():
        top = re.match(r"^(\.[\w$.]+)\s", line) or re.match(r"^(\.[\w$.]+)$", line)
        if top:
            section = top.group(1)
            continue
        m = re.match(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if not m:
            single = re.match(r"^ (\.\S+)$", line)
            pending = single.group(1) if single else None
            continue
        if section is None or (m.group(1) is None and pending is None):
            continue
        pending = None
        size = int(m.group(3), 16)
        origin = _origin(m.group(4))
        if size and origin:
            bucket = out.setdefault(section, {})
            bucket[origin] = bucket.get(origin, 0) + size
    return out


def _origin(path: str) -> Optional[str]:
    archive = re.match(r"^(.*?)\((.*)\)$", path.strip())
    if archive:
        lib = Path(archive.group(1)).name
        if lib in ("objects.a", "libsetup_core.a"):
            return "setup's own code"
        return lib
    name = Path(path.strip()).name
    if name.endswith((".o", ".obj")):
        return "setup's own code" if "CMakeFiles" in path else f"start-up objects ({name})"
    return None


# --- the measurements -------------------------------------------------------------------------

DECISION_COMMANDS = {
    "setup.exe -silent": ("setup.exe", ["-silent"], EXIT_SAME_VERSION),
    "setup.exe -silent, no log": ("setup.exe", ["-silent", *NO_LOG], EXIT_SAME_VERSION),
    "floor.exe": ("floor.exe", [], EXIT_SAME_VERSION),
    "floor_package.exe": ("floor_package.exe", [], EXIT_SAME_VERSION),
    "peer.exe": ("peer.exe", [], EXIT_SAME_VERSION),
    "setup.exe -silent -bogus": ("setup.exe", ["-silent", "-bogus"], EXIT_BAD_COMMAND_LINE),
    "empty.exe": ("empty.exe", [], 0),
}
# The properties that both floors print with -print.
FLOOR_PROPERTIES = ("ProductCode", "UpgradeCode", "ProductVersion", "ProductName")


def measure_decision(bench: Bench, prefix: wine.Prefix) -> Dict[str, Series]:
    say("1. Decision: the same version installed, setup.exe -silent against the floor and the "
        "peer; 2. a bad option against empty.exe")
    commands = {name: wine_cmd("C:\\kit\\" + exe, *args, expect=code)
                for name, (exe, args, code) in DECISION_COMMANDS.items()}
    a = bench.args
    return hyperfine(commands, prefix.env, prefix.kit, a.rounds, 10 * a.scale, 3)


def check_baselines(decided: wine.Prefix, fresh: wine.Prefix) -> Dict[str, Dict[str, str]]:
    """The floors and the peer decide, not merely exit 3: where the product is missing they
    exit 0. Returns what each floor read from the package, by program."""
    for exe in ("floor.exe", "floor_package.exe", "peer.exe"):
        check(f"{exe} without the product", fresh.wine(["C:\\kit\\" + exe]).returncode, 0)
        check(f"{exe} with the product", decided.wine(["C:\\kit\\" + exe]).returncode,
              EXIT_SAME_VERSION)
    reads = {}
    for exe in ("floor.exe", "floor_package.exe"):
        result = decided.wine(["C:\\kit\\" + exe, "-print"])
        check(f"{exe} -print", result.returncode, EXIT_SAME_VERSION)
        lines = result.stdout.decode("utf-8").splitlines()
        reads[exe] = dict(line.split("=", 1) for line in lines if "=" in line)
    return reads


def fill_folders(prefix: wine.Prefix) -> Dict[int, str]:
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


def measure_scaling(bench: Bench, prefix: wine.Prefix,
                    folders: Dict[int, str]) -> Dict[str, Series]:
    say("3. Folder scaling: the decision with 10, 1 000 and 10 000 unrelated files beside it")
    commands = {}
    for count, folder in folders.items():
        commands[f"setup.exe -silent, {count} files"] = wine_cmd(
            folder + r"\setup.exe", "-silent", expect=EXIT_SAME_VERSION)
        commands[f"empty.exe, {count} files"] = wine_cmd(folder + r"\empty.exe", expect=0)
    a = bench.args
    return hyperfine(commands, prefix.env, prefix.kit, a.rounds, 5 * a.scale, 2)


def uninstall_command(package: Package = PACKAGE) -> str:
    # Nothing to remove is fine: the first run starts from a fresh prefix.
    return (f"wine {q(MSIEXEC)} /x {q(package.product_code)} /qn; rc=$?; "
            f"test $rc -eq 0 -o $rc -eq {low8(ERROR_UNKNOWN_PRODUCT)}")


SETUP_INSTALL = "setup.exe -silent -noreboot"
SETUP_INSTALL_QN = "setup.exe -silent -noreboot -args /qn"
SETUP_INSTALL_QN_NO_LOG = "setup.exe -silent -noreboot -args /qn, no log"
BY_HAND = "msiexec /i … /qn REBOOT=R, then the tool"


def install_commands(package: Package, plain: bool = True) -> Dict[str, str]:
    """setup.exe against the same installation by hand; `plain` adds setup.exe without /qn."""
    setup = r"C:\kit\setup.exe"
    commands = {SETUP_INSTALL: wine_cmd(setup, "-silent", "-noreboot", expect=0)} if plain else {}
    commands[SETUP_INSTALL_QN] = wine_cmd(setup, "-silent", "-noreboot", "-args", "/qn", expect=0)
    if plain:
        commands[SETUP_INSTALL_QN_NO_LOG] = wine_cmd(setup, "-silent", "-noreboot", "-args", "/qn",
                                                     *NO_LOG, expect=0)
    commands[BY_HAND] = (
        wine_cmd(MSIEXEC, "/i", "C:\\kit\\" + package.file_name, "/qn", "REBOOT=R")
        + " && " + wine_cmd(package.tool_folder() + "ordo_tool.exe", "/init"))
    return commands


def measure_install(bench: Bench, prefix: wine.Prefix, package: Package,
                    commands: Dict[str, str], rounds: int, runs: int,
                    warmup: int = 1) -> Dict[str, Series]:
    # Each side once, checked: the product lands, the tool runs, the removal undoes it.
    uninstall = uninstall_command(package)
    for name, command in commands.items():
        before = len(prefix.ordo_tool_log())
        subprocess.run(command, shell=True, env=prefix.env, cwd=prefix.kit, check=True)
        check(f"{name}: product state", prefix.product_state(package.product_code), 5)
        check(f"{name}: tool runs", len(prefix.ordo_tool_log()) - before, 1)
        if package.payload:
            vendor = prefix.host(package.tool_folder()).parent
            check(f"{name}: files installed", sum(1 for f in vendor.rglob("*") if f.is_file()),
                  package.payload.files + 1)
        subprocess.run(uninstall, shell=True, env=prefix.env, cwd=prefix.kit, check=True)
        check(f"{name}: state after removal", prefix.product_state(package.product_code), -1)
    before = len(prefix.ordo_tool_log())
    result = hyperfine(commands, prefix.env, prefix.kit, rounds, runs, warmup,
                       prepare=uninstall)
    # Every timed run installed and ran the tool: none found the product already there.
    check("tool runs during the measurement", len(prefix.ordo_tool_log()) - before,
          rounds * len(commands) * (runs + warmup))
    check("no restart marker", prefix.reg_exists(r"HKCU\Software\NeedBstrReboot"), False)
    return result


def measure_memory(bench: Bench, decided: wine.Prefix, fresh: wine.Prefix) -> Dict[str, List[int]]:
    say("4. Peak memory")
    n = 3 * bench.args.scale
    peaks = {
        "setup.exe -silent (decision)": [
            peak_rss(decided, [r"C:\kit\setup.exe", "-silent"], EXIT_SAME_VERSION)
            for _ in range(n)],
        "setup.exe -silent -bogus": [
            peak_rss(decided, [r"C:\kit\setup.exe", "-silent", "-bogus"], EXIT_BAD_COMMAND_LINE)
            for _ in range(n)],
        "empty.exe": [peak_rss(decided, [r"C:\kit\empty.exe"], 0) for _ in range(n)],
    }
    install = []
    for _ in range(n):
        subprocess.run(uninstall_command(), shell=True, env=fresh.env, cwd=fresh.kit, check=True)
        install.append(peak_rss(fresh, [r"C:\kit\setup.exe", "-silent", "-noreboot"], 0))
    peaks["setup.exe -silent -noreboot (installation; its own process)"] = install
    return peaks


# --- the report -------------------------------------------------------------------------------

def verdict(value: float, limit: float) -> str:
    return "met" if value <= limit else "**missed**"


def ratio_verdict(pair: Tuple[float, float], limit: float) -> str:
    """Met or missed when the medians and the minimums agree; noise when they do not."""
    median, least = (v <= limit for v in pair)
    if median == least:
        return verdict(pair[0], limit)
    return "met by the medians only" if median else "missed by the medians only"


def machine() -> Dict[str, str]:
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
                if l.startswith("model name")), platform.machine())
    memory = next((l.split()[1] for l in open("/proc/meminfo") if l.startswith("MemTotal")), "0")
    distro = next((l.split("=", 1)[1].strip().strip('"') for l in open("/etc/os-release")
                   if l.startswith("PRETTY_NAME")), "Linux")
    return {
        "cpu": f"{os.cpu_count()} × {cpu}", "memory": f"{round(int(memory) / 1024 / 1024)} GB",
        "system": f"{distro}, kernel {platform.release()}",
        "wine": subprocess.run(["wine", "--version"], capture_output=True,
                               text=True).stdout.strip(),
        "hyperfine": hyperfine_version(),
        "makensis": "makensis " + subprocess.run(["makensis", "-VERSION"], capture_output=True,
                                                 text=True).stdout.strip(),
    }


def row(measure: str, s: Series, ratio_text: str = "", target: str = "", met: str = "") -> str:
    lo, mid, hi = s.ms()
    return f"| {measure} | `{s.label}` | {lo} | {mid} | {hi} | {ratio_text} | {target} | {met} |"


def phase_table(title: str, phases: Dict[str, Phase], runs: int) -> List[str]:
    total = sum(ms for ms, _ in phases.values())
    lines = [f"**{title}**: medians of {runs} traced runs, {total:.0f} ms together:", "",
             "| phase | calls | ms | share |", "|---|---:|---:|---:|"]
    lines += [f"| {k} | {n} | {ms:.0f} | {ms / total * 100:.0f} % |"
              for k, (ms, n) in phases.items()]
    return lines + [""]


def r(pair: Tuple[float, float]) -> str:
    return f"{pair[0]:.2f}× ({pair[1]:.2f}×)"


def bare_row(measure: str, command: str, median: str = "", ratio_text: str = "",
             target: str = "", met: str = "") -> str:
    """A row without times: a size, or a second ratio of the row above."""
    return f"| {measure} | {command} | | {median} | | {ratio_text} | {target} | {met} |"


def report(data: dict) -> str:
    d, i, b, s = data["decision"], data["install"], data["bulk"], data["scaling"]
    setup, floor, peer = d["setup.exe -silent"], d["floor.exe"], d["peer.exe"]
    vs_floor, vs_peer = ratio(setup, floor), ratio(setup, peer)
    bogus = ratio(d["setup.exe -silent -bogus"], d["empty.exe"])
    ins, ins_qn = ratio(i[SETUP_INSTALL], i[BY_HAND]), ratio(i[SETUP_INSTALL_QN], i[BY_HAND])
    log_decision = ratio(setup, d["setup.exe -silent, no log"])
    log_install = ratio(i[SETUP_INSTALL_QN], i[SETUP_INSTALL_QN_NO_LOG])
    bulk = ratio(b[SETUP_INSTALL_QN], b[BY_HAND])
    small, big = FOLDER_SIZES[0], FOLDER_SIZES[-1]
    sc = ratio(s[f"setup.exe -silent, {big} files"], s[f"setup.exe -silent, {small} files"])
    sc_empty = ratio(s[f"empty.exe, {big} files"], s[f"empty.exe, {small} files"])
    size = data["size"]
    m = data["machine"]
    bulk_kit = data["bulk package"]

    def judged(pair, key):
        return ratio_verdict(pair, TARGETS[key])

    lines = [
        "# Benchmarks",
        "",
        f"Measured by `scripts/bench.sh` on {data['date']}: {m['cpu']}, {m['memory']} of memory, "
        f"{m['system']}, {m['wine']}, {m['hyperfine']}, {m['makensis']}; the one-minute load "
        f"average was {data['load'][0]:.1f} before and {data['load'][1]:.1f} after.",
        "",
        "Times are wall clock as seen from Linux, for `wine <program>` in a 64-bit English "
        "prefix whose wineserver, services and desktop were already running (an idle message "
        "box kept them up), with `WINEDEBUG=-all` and an Xvfb display. Each comparison is one "
        f"hyperfine run per round, {data['rounds']} rounds with the order of the commands "
        "flipped between rounds; min, median and max are over all rounds. The ratio is of the "
        "medians; the ratio of the minimums, the least disturbed runs, is in brackets. A target "
        "is met or missed when both ratios say so, and marked as the medians' verdict alone "
        "when the two disagree. Every timed run checked its exit code.",
        "",
        "| Measure | Command | min ms | median ms | max ms | ratio | target | |",
        "|---|---|---:|---:|---:|---:|---:|---|",
        row("1. Decision", setup, r(vs_floor) + " the floor",
            f"≤ {TARGETS['floor']:.2f}× the floor", judged(vs_floor, "floor")),
        bare_row("", "against `peer.exe`", "", r(vs_peer) + " the peer",
                 f"≤ {TARGETS['peer']:.2f}× the peer", judged(vs_peer, "peer")),
        row("", floor, "1", "", "the floor"),
        row("", d["floor_package.exe"], r(ratio(d["floor_package.exe"], floor)), "",
            "reference"),
        row("", peer, r(ratio(peer, floor)), "", "the peer"),
        bare_row("", "the log's cost", "", r(log_decision) + " without it",
                 f"≤ {TARGETS['log']:.2f}×", judged(log_decision, "log")),
        row("", d["setup.exe -silent, no log"], "", "", "reference"),
        row("2. Bad option", d["setup.exe -silent -bogus"], r(bogus),
            f"≤ {TARGETS['bad option']:.1f}×", judged(bogus, "bad option")),
        row("", d["empty.exe"], "1", "", "baseline"),
        row("3. Installation, one file", i[SETUP_INSTALL], r(ins),
            f"≤ {TARGETS['install']:.2f}×", judged(ins, "install")),
        row("", i[SETUP_INSTALL_QN], r(ins_qn), "", "reference"),
        bare_row("", "the log's cost", "", r(log_install) + " without it",
                 f"≤ {TARGETS['log']:.2f}×", judged(log_install, "log")),
        row("", i[SETUP_INSTALL_QN_NO_LOG], "", "", "reference"),
        row("", i[BY_HAND], "1", "", "baseline"),
        row(f"4. Installation, {num(bulk_kit['files'])} files", b[SETUP_INSTALL_QN], r(bulk),
            f"≤ {TARGETS['bulk']:.2f}×", judged(bulk, "bulk")),
        row("", b[BY_HAND], "1", "", "baseline"),
    ]
    for count in FOLDER_SIZES:
        series = s[f"setup.exe -silent, {count} files"]
        rr = ratio(series, s[f"setup.exe -silent, {small} files"])
        last = count == big
        lines.append(row("5. Folder scaling" if count == small else "", series,
                         "1" if count == small else r(rr), "≤ 2× at 10 000" if last else "",
                         judged(rr, "scaling") if last else "baseline"
                         if count == small else ""))
    for count in FOLDER_SIZES:
        series = s[f"empty.exe, {count} files"]
        rr = ratio(series, s[f"empty.exe, {small} files"])
        lines.append(row("", series, "1" if count == small else r(rr), "", "reference"))
    lines.append(bare_row("6. Size", "`setup.exe`", f"{num(size['bytes'])} bytes "
                          f"({size['bytes'] / 1024:.1f} KiB)", "", "≤ 100 KiB",
                          verdict(size["bytes"], SIZE_LIMIT)))
    for name, n in size["others"].items():
        lines.append(bare_row("", f"`{name}`", f"{num(n)} bytes ({n / 1024:.1f} KiB)", "", "",
                              "reference"))
    for name, peaks in data["memory"].items():
        peaks = sorted(peaks)
        lines.append(f"| 6. Peak memory | `{name}` | {peaks[0] / 1024:.1f} MiB | "
                     f"{statistics.median(peaks) / 1024:.1f} MiB | {peaks[-1] / 1024:.1f} MiB "
                     f"| | | |")
    reads = data["floor reads"]
    same = all(len({reads[exe].get(p) for exe in reads}) == 1 for p in FLOOR_PROPERTIES)
    session = d["floor_package.exe"]
    lines += [
        "",
        f"Peak memory is the peak resident set of the Unix process that hosts the Windows "
        f"program, as GNU time reports it (`%M`, the kernel's `ru_maxrss`), over "
        f"{len(next(iter(data['memory'].values())))} runs each: `wine` execs Wine's loader in "
        "place, so it is the program with Wine's runtime and the built-in DLLs it touched "
        "mapped in. It is not the program's working set on Windows; empty.exe shows what Wine "
        "alone costs, and the difference is setup.exe's share. msiexec and the tool run in "
        "processes of their own and are not counted.",
        "",
        "## The comparisons",
        "",
        "1. **Decision.** `setup.exe -silent` in a folder whose package (one x64 package "
        "without a UI) is already installed at the same version: it exits 3. Against it, in "
        "the same hyperfine runs, folder and prefix, and each checked to exit 3:",
        "   - **the floor**, `floor.exe` (tests/kit/floor.c), the least any bootstrapper must "
        "do to reach that decision: a static Win32 GUI program that locks the DLL search to "
        "the system directory, loads msi.dll from there, sets the installer's interface to "
        "none, initialises COM, finds `*x64*.msi` (`*win32*.msi` outside WOW64) in its own "
        "folder, opens it once read-only with `MsiOpenDatabase` and reads ProductCode, "
        "UpgradeCode and ProductVersion with one view, then `MsiEnumRelatedProducts`, "
        "`MsiQueryProductState` and `MsiGetProductInfo(VersionString)`, and exits 3 on the "
        "same version;",
        "   - `floor_package.exe`, the same program opening the package as an installer "
        "session with `MsiOpenPackageEx`, and reading the properties with "
        f"`MsiGetProperty`: {(session.median - floor.median) * 1000:+.1f} ms against the floor "
        f"by the medians, {(session.min - floor.min) * 1000:+.1f} ms by the minimums. "
        f"The four properties ({', '.join(FLOOR_PROPERTIES)}) read "
        + ("the same both ways" if same else "**differently**: "
           + "; ".join(f"{exe} {reads[exe]}" for exe in reads))
        + (", so the floor loses nothing by reading the package as a database;" if same else
           ";"),
        "   - **the peer**, `peer.exe` (tests/kit/peer.nsi), the same decision made by a "
        "bootstrapper built with Debian's makensis, a silent Unicode installer whose `.onInit` "
        "calls msi.dll through the System plug-in: `${RunningX64}`, `FindFirst`, "
        "`MsiOpenDatabase` with one view, the same three installer queries, `SetErrorLevel 3`. "
        "It is what a vendor would otherwise pick.",
        "   The floor and the peer are checked to exit 0 where the product is not installed, so "
        "they decide rather than merely exit 3.",
        "2. **Bad option.** `setup.exe -silent -bogus` exits 1639 right after the options are "
        "parsed, before the installer library is touched: what merely starting setup.exe "
        "costs. The baseline is empty.exe, a Win32 GUI program that only returns.",
        "3. **Installation, one file.** Each run starts from the product not installed "
        "(hyperfine's `--prepare` removes it with `msiexec /x … /qn`, untimed), so both sides "
        "do a fresh installation and run the tool once, checked by counting the tool's log "
        "lines. By hand is `wine C:\\windows\\syswow64\\msiexec.exe /i <package> /qn REBOOT=R` "
        "then `wine \"…\\ordo_tool.exe\" /init`: the same 32-bit msiexec that setup.exe "
        "starts through its system directory, named directly because `wine msiexec` would add "
        "a start.exe process. `setup.exe -silent` gives msiexec no `/qn` of its own; the "
        "reference row adds `-args /qn` so that the two msiexec command lines are the same.",
        f"4. **Installation, {num(bulk_kit['files'])} files.** The same with a package the "
        f"size of a product: the tool and {num(bulk_kit['files'] - 1)} more files, "
        f"{bulk_kit['bytes'] / 1024 / 1024:.0f} MiB in {bulk_kit['folders']} folders, one "
        "component each, in one embedded cabinet "
        f"({bulk_kit['msi bytes'] / 1024 / 1024:.1f} MiB of package; binaries are random, "
        "text compresses). setup.exe runs as an unattended installation would, with "
        "`-args /qn`, so both sides start msiexec with the same command line. A run takes "
        f"seconds: the runs are spread over {2 * data['rounds']} rounds of {data['scale']}, "
        "without warm-up runs, for a burst of load on the machine to fall on both sides.",
        "5. **Folder scaling.** The decision of 1. in folders holding setup.exe, the package "
        "and empty.exe beside 10, 1 000 or 10 000 small unrelated files (documents, images, "
        "archives; no package, certificate or DLL). empty.exe in the same folders shows what "
        "Wine itself pays for a crowded program folder.",
        "6. **Footprint.** The size of `build/windows/setup.exe`, 200 KiB = 204 800 bytes; the "
        "peer's and the floor's for reference.",
        "",
        "## Where the time goes",
        "",
        f"Starting setup.exe and parsing its options already costs {bogus[0]:.1f}× empty.exe "
        f"({d['setup.exe -silent -bogus'].median * 1000:.0f} against "
        f"{d['empty.exe'].median * 1000:.0f} ms). {imports_text(data['imports'])}, and before "
        f"it exits on a bad option setup.exe loads {loads_text(data['phases']['bogus'])} "
        "itself. The traced runs below come from "
        "`WINEDEBUG=-all,+timestamp,+relay` with relay limited to calls made by the program "
        "itself and its C runtime (`RelayFromInclude`; the prefix's `RelayFromExclude` list is "
        "set aside meanwhile, since Wine ignores the one while there is the other) into the "
        "installer, COM and a few kernel32 and shell32 functions, so each row is whole calls "
        "of the program's; the start row runs from the "
        "`wine` launch to the first traced call. Tracing slows the traced calls a little.",
        "",
    ]
    traces = data["traces"]
    p = data["phases"]
    lines += phase_table("A bad option, `setup.exe -silent -bogus`", p["bogus"], traces)
    lines += beyond_floor(p["decision"], p["floor"], traces)
    lines += phase_table(f"Decision, {num(big)} files in the folder", p["decision_big"], traces)
    lines += phase_table("Installation, `setup.exe -silent -noreboot`", p["install"], traces)
    lines += explain_misses(data, vs_floor, vs_peer, bogus, ins, ins_qn, bulk, sc, sc_empty)
    lines += size_section(size)
    lines += [
        "## Running it",
        "",
        "```sh",
        f"sudo scripts/bench.sh            # setup, build, then {data['seconds']:.0f} s here",
        "scripts/bench.sh --rounds 5 --scale 2   # more rounds and longer ones",
        "python3 scripts/bench.py --report-only  # this page again from the last results",
        "```",
        "",
        "It builds its prefixes under `build/bench/` from the end-to-end tests' cached pristine "
        "prefix and removes them afterwards (`--keep` keeps them); the raw numbers are in "
        "`build/bench/results.json`. The peer needs makensis (Debian's `nsis`), which "
        "scripts/setup.sh installs; the build makes `peer.exe` wherever makensis is found.",
        "",
    ]
    return "\n".join(lines)


LOADS = "loading DLLs and what they import"


def loads_merged(phases: Dict[str, Phase]) -> Dict[str, Phase]:
    """The phases with the DLL loads in one: a DLL's imports load with whichever load asks for
    them first, so the split between loads says little when two programs load in other orders."""
    out: Dict[str, Phase] = {}
    for k, (ms, n) in phases.items():
        key = LOADS if k.startswith("loading ") else k
        before = out.get(key, (0.0, 0))
        out[key] = (before[0] + ms, before[1] + n)
    return out


def beyond_floor(setup: Dict[str, Phase], floor: Dict[str, Phase], runs: int) -> List[str]:
    """The traced decision beside the traced floor, phase by phase, the largest excess first."""
    s, f = loads_merged(setup), loads_merged(floor)
    labels = list(dict.fromkeys([*s, *f]))
    edges = [k for k in labels if k.startswith((START, END))]
    middle = sorted((k for k in labels if k not in edges),
                    key=lambda k: f.get(k, (0.0, 0))[0] - s.get(k, (0.0, 0))[0])
    lines = [f"**Decision, {FOLDER_SIZES[0]} files in the folder, beside the floor**: medians "
             f"of {runs} traced runs each, setup.exe {sum(ms for ms, _ in s.values()):.0f} ms "
             f"and floor.exe {sum(ms for ms, _ in f.values()):.0f} ms together:", "",
             "| phase | setup.exe calls | setup.exe ms | floor.exe calls | floor.exe ms "
             "| more than the floor |", "|---|---:|---:|---:|---:|---:|"]
    for k in [edges[0], *middle, *edges[1:]]:
        (sm, sn), (fm, fn) = s.get(k, (0.0, 0)), f.get(k, (0.0, 0))
        lines.append(f"| {k} | {sn} | {sm:.0f} | {fn} | {fm:.0f} | {sm - fm:+.0f} |")
    lines += ["", f"The loads are one row: setup.exe loads {loads_text(setup)}, floor.exe "
              f"{loads_text(floor)}, and a DLL that both need is paid for by whichever load "
              "brings it in first."]
    return lines + [""]


def excess(setup: Dict[str, Phase], floor: Dict[str, Phase], most: int = 4) -> str:
    """The phases where setup.exe spends the most beyond the floor, as text."""
    s, f = loads_merged(setup), loads_merged(floor)
    more = sorted(((s.get(k, (0.0, 0))[0] - f.get(k, (0.0, 0))[0], k) for k in {*s, *f}),
                  reverse=True)
    return "; ".join(f"{k} {ms:+.0f} ms" for ms, k in more[:most] if ms >= 1) or "nothing"


def more_or_less(ms: float) -> str:
    return f"{abs(ms):.0f} ms {'more' if ms >= 0 else 'less'}"


def explain_misses(data, vs_floor, vs_peer, bogus, ins, ins_qn, bulk, sc,
                   sc_empty) -> List[str]:
    p, d = data["phases"], data["decision"]
    lines = ["### The misses", ""]
    setup_ms = d["setup.exe -silent"].median * 1000
    if vs_floor[0] > TARGETS["floor"] or vs_peer[0] > TARGETS["peer"]:
        lines.append(
            f"- **Decision, {vs_floor[0]:.2f}× the floor against {TARGETS['floor']:.2f}×, "
            f"{vs_peer[0]:.2f}× the peer against {TARGETS['peer']:.2f}×.** setup.exe takes "
            f"{more_or_less(setup_ms - d['floor.exe'].median * 1000)} than the floor and "
            f"{more_or_less(setup_ms - d['peer.exe'].median * 1000)} than the peer by the "
            "medians. In the traced runs above, the phases that cost it the most beyond the "
            f"floor's: {excess(p['decision'], p['floor'])}.")
    if bogus[0] > TARGETS["bad option"]:
        ph = p["bogus"]
        lines.append(
            f"- **Bad option, {bogus[0]:.2f}× against {TARGETS['bad option']:.1f}×.** Before "
            f"it exits, setup.exe spends {phase_ms(ph, START)[0]:.0f} ms starting, loads "
            f"{loads_text(ph)} and spends {phase_ms(ph, END)[0]:.0f} ms in ExitProcess, "
            "which tears down every DLL it loaded; empty.exe loads none of its own.")
    if ins[0] > TARGETS["install"]:
        ph = p["install"]
        total = sum(ms for ms, _ in ph.values())
        waits = phase_ms(ph, "waiting for msiexec")[0] + phase_ms(ph, "waiting for the tool")[0]
        spawn = phase_ms(ph, "starting msiexec")[0]
        loaded = sum(ms for _, ms in loads(ph))
        opens, n_opens = phase_ms(ph, "opening the package")
        start = phase_ms(ph, START)[0]
        lines.append(
            f"- **Installation, one file, {ins[0]:.2f}× against {TARGETS['install']:.2f}×** "
            f"({ins_qn[0]:.2f}× with `-args /qn`). Of the traced installation, "
            f"{waits:.0f} ms ({waits / total * 100:.0f} %) is msiexec and the tool at work, "
            f"the part both sides share, and {spawn:.0f} ms starting them. Before msiexec "
            f"starts, setup.exe spends {start:.0f} ms starting itself, {loaded:.0f} ms "
            f"loading DLLs ({loads_text(ph)}) and {opens:.0f} ms opening the package "
            f"{n_opens} times: the costs of 1., paid on every installation, against a "
            "by-hand installation that is itself short for this small package. msiexec's "
            f"interface level {'is not' if ins_qn[0] >= ins[0] * 0.95 else 'is part of'} the "
            f"cause: with `-args /qn` the ratio is {ins_qn[0]:.2f}×.")
    if bulk[0] > TARGETS["bulk"]:
        b = data["bulk"]
        extra = (b[SETUP_INSTALL_QN].median - b[BY_HAND].median) * 1000
        small_extra = (data["install"][SETUP_INSTALL_QN].median
                       - data["install"][BY_HAND].median) * 1000
        lines.append(
            f"- **Installation, {num(data['bulk package']['files'])} files, {bulk[0]:.2f}× "
            f"against {TARGETS['bulk']:.2f}×.** setup.exe takes {more_or_less(extra)} than "
            f"the {b[BY_HAND].median:.1f} s by hand, against {more_or_less(small_extra)} with "
            "the one-file package, where the fixed costs of 1. and 3. are all it adds.")
    if sc[0] > TARGETS["scaling"]:
        lines.append(f"- **Folder scaling, {sc[0]:.2f}× against 2×.** "
                     + scaling_text(data, sc_empty))
    if data["size"]["bytes"] > SIZE_LIMIT:
        lines.append(f"- **Size, {num(data['size']['bytes'])} bytes against 204 800.** See "
                     "where the bytes go, below.")
    if len(lines) == 2:
        lines.append("None: every target was met.")
    if sc[0] <= TARGETS["scaling"]:
        lines += ["", f"Folder scaling, {sc[0]:.2f}×, is within its target. "
                  + scaling_text(data, sc_empty)]
    return lines + [""]


def scaling_text(data, sc_empty) -> str:
    small, big = data["phases"]["decision"], data["phases"]["decision_big"]
    key = "folder searches"
    return (
        f"With {num(FOLDER_SIZES[-1])} files beside it, setup.exe's start takes "
        f"{phase_ms(big, START)[0]:.0f} ms instead of {phase_ms(small, START)[0]:.0f} ms "
        f"and its folder searches ({phase_ms(big, key)[1]} calls) {phase_ms(big, key)[0]:.0f} ms "
        f"instead of {phase_ms(small, key)[0]:.0f} ms. The start is where Wine's loader binds "
        "the imports, looking for each DLL in the program's folder first, and a wildcard "
        "search costs Wine more the more names it has to match; empty.exe slows down "
        f"{sc_empty[0]:.1f}× over the same folders.")


def size_section(size: dict) -> List[str]:
    lines = ["### Where the bytes go", "", "| section | bytes in the file |", "|---|---:|"]
    lines += [f"| `{name}` | {num(n)} |" for name, n in size["sections"]]
    lines += ["", "| resource | bytes |", "|---|---:|"]
    lines += [f"| {name} | {num(n)} |" for name, n in size["resources"]]
    lines.append("")
    origins = size.get("origins")
    if origins:
        lines += ["Code, unwind tables and data by origin, from a map of the same link "
                  "(sizes before the sections are padded):", "",
                  "| section | origin | bytes |", "|---|---|---:|"]
        for section in (".text", ".eh_frame", ".rdata", ".data"):
            for origin, n in sorted(origins.get(section, {}).items(), key=lambda kv: -kv[1])[:6]:
                lines.append(f"| `{section}` | {origin} | {num(n)} |")
        lines.append("")
    else:
        lines += ["(The link could not be repeated with a map, so there is no breakdown by "
                  "origin.)", ""]
    return lines


def load_results(path: Path) -> dict:
    """The data of a run as main() had it, from its results.json."""
    data = json.loads(path.read_text())
    for key in TIMED:
        data[key] = {name: Series(name, times) for name, times in data[key].items()}
    data["phases"] = {run: {label: tuple(v) for label, v in phases.items()}
                      for run, phases in data["phases"].items()}
    return data


# --- main -------------------------------------------------------------------------------------

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3, help="hyperfine runs per comparison")
    parser.add_argument("--scale", type=int, default=2, help="multiplies the runs per round")
    parser.add_argument("--out", type=Path, default=OUT)
    parser.add_argument("--keep", action="store_true", help="keep the prefixes in build/bench")
    parser.add_argument("--report-only", action="store_true",
                        help="write the report again from the last run's results.json")
    args = parser.parse_args()
    if args.report_only:
        args.out.write_text(report(load_results(WORK / "results.json")), encoding="utf-8")
        return 0
    for needed in (wine.SETUP_EXE, wine.KIT_BIN / "ui_driver.exe",
                   *(wine.KIT_BIN / p for p in PROGRAMS)):
        if not needed.exists():
            say(f"bench: {needed} is missing; run scripts/bench.sh, which installs makensis "
                "and builds")
            return 1

    started = time.monotonic()
    load_before = os.getloadavg()[0]
    if WORK.exists():
        for stale in WORK.iterdir():
            if stale.is_dir():
                subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(stale)},
                               capture_output=True)
        shutil.rmtree(WORK)
    WORK.mkdir(parents=True)
    shutil.copy2(wine.SETUP_EXE, SETUP)
    for program in PROGRAMS:
        shutil.copy2(wine.KIT_BIN / program, WORK / program)
    bench = Bench(args)
    data: dict = {"date": datetime.date.today().isoformat(), "rounds": args.rounds,
                  "scale": args.scale}
    try:
        say(f"bench: prefixes in {WORK}")
        decided = bench.prefix("decided")
        check("installation", decided.setup(["-silent", "-noreboot"]), 0)
        check("same version", decided.setup(["-silent"]), EXIT_SAME_VERSION)
        check("bad option", decided.setup(["-silent", "-bogus"]), EXIT_BAD_COMMAND_LINE)
        folders = fill_folders(decided)
        fresh = bench.prefix("fresh")
        bulk = bench.prefix("bulk", BULK)
        data["bulk package"] = {
            "files": BULK.payload.files + 1, "bytes": BULK.payload.total_bytes,
            "folders": len(PAYLOAD_FOLDERS), "msi bytes": (bulk.kit / BULK.file_name).stat().st_size}
        data["floor reads"] = check_baselines(decided, fresh)

        data["decision"] = measure_decision(bench, decided)
        say("3. Installation: setup.exe on a fresh state against msiexec and the tool by hand")
        data["install"] = measure_install(bench, fresh, PACKAGE, install_commands(PACKAGE),
                                          args.rounds, 4 * args.scale)
        say(f"4. Installation of {num(BULK.payload.files + 1)} files, the same way")
        # Twice the rounds, a few seconds each: a burst of load on the shared machine then
        # lands on both sides. The checked installation before has warmed the caches.
        data["bulk"] = measure_install(bench, bulk, BULK, install_commands(BULK, plain=False),
                                       2 * args.rounds, args.scale, warmup=0)
        data["scaling"] = measure_scaling(bench, decided, folders)
        data["memory"] = measure_memory(bench, decided, fresh)

        say("Tracing a bad option, the floor, two decisions and an installation")
        traces = data["traces"] = 3 * args.scale
        data["phases"] = {
            "bogus": relay_phases(decided, r"C:\kit", ["-silent", "-bogus"], traces),
            "floor": relay_phases(decided, r"C:\kit", [], traces, program="floor.exe"),
            "decision": relay_phases(decided, folders[FOLDER_SIZES[0]], ["-silent"], traces),
            "decision_big": relay_phases(decided, folders[FOLDER_SIZES[-1]], ["-silent"],
                                         traces),
            "install": relay_phases(fresh, r"C:\kit", ["-silent", "-noreboot"], traces,
                                    prepare=lambda: subprocess.run(
                                        uninstall_command(), shell=True, env=fresh.env,
                                        cwd=fresh.kit, check=True)),
        }
    finally:
        bench.close()

    data["imports"] = {exe.name: pe_imports(exe) for exe in (SETUP, WORK / "empty.exe")}
    sections, resources = pe_breakdown(SETUP)
    data["size"] = {"bytes": SETUP.stat().st_size, "sections": sections,
                    "resources": resources, "origins": linked_origins(WORK),
                    "others": {p: (WORK / p).stat().st_size for p in ("peer.exe", "floor.exe")}}
    data["machine"] = machine()
    data["load"] = (load_before, os.getloadavg()[0])
    data["seconds"] = time.monotonic() - started

    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(report(data), encoding="utf-8")
    raw = {k: ({n: s.times for n, s in v.items()} if k in TIMED else v)
           for k, v in data.items()}
    (WORK / "results.json").write_text(json.dumps(raw, indent=1, default=str))
    if not args.keep:
        for prefix in bench.prefixes:
            shutil.rmtree(prefix.path, ignore_errors=True)
    say(f"bench: {args.out} written in {data['seconds']:.0f} s")
    say(args.out.read_text(encoding="utf-8").split("## The comparisons")[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
