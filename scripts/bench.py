#!/usr/bin/env python3
"""Times setup.exe under Wine against plain baselines, side by side with hyperfine, and writes
docs/benchmarks.md. Run it through scripts/bench.sh, which builds first.

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
from make_kit import Package  # noqa: E402

WORK = wine.BUILD / "bench"  # beside the prefix cache: copies are hard links
# What is measured, copied once: the build tree may be rebuilt while the benchmark runs.
SETUP = WORK / "setup.exe"
OUT = REPO / "docs" / "benchmarks.md"
KIND = "win64-en"

PACKAGE = Package("qv_x64_kc1_eng.msi")
TOOL = PACKAGE.tool_folder() + "ordo_tool.exe"
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

SIZE_LIMIT = 200 * 1024
TARGETS = {"decision": 1.5, "install": 1.10, "scaling": 2.0}


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

    def prefix(self, name: str) -> wine.Prefix:
        """A prefix copy with the package, setup.exe and empty.exe in C:\\kit, kept warm."""
        path = WORK / name
        wine.copy_prefix(self.cache.pristine(KIND), path)
        prefix = wine.Prefix(path, KIND, self.display)
        self.prefixes.append(prefix)
        prefix.add_packages(PACKAGE)
        shutil.copy2(SETUP, prefix.kit / "setup.exe")
        shutil.copy2(wine.KIT_BIN / "empty.exe", prefix.kit / "empty.exe")
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
RELAY_INCLUDE = ";".join([
    "msi.*", "shell32.IsUserAnAdmin", "kernel32.LoadLibraryExW", "kernel32.FindFirstFileW",
    "kernel32.FindClose", "kernel32.CreateProcessW", "kernel32.WaitForSingleObject",
    "kernel32.ExitProcess"])
LINE = re.compile(r"^(\d+)\.(\d{3}):([0-9a-f]+):(Call|Ret)\s+([\w.]+)\((.*)$")


def relay_phases(prefix: wine.Prefix, folder: str, args: Sequence[str], runs: int,
                 prepare=None) -> Dict[str, Phase]:
    """Runs setup.exe with the top-level calls it makes traced; per phase the median over the
    runs, in milliseconds. Relay thunks slow the traced calls a little and the machine is
    noisy, so the shares matter more than the sums."""
    debug_key = r"HKCU\Software\Wine\Debug"
    # Only calls made by setup.exe itself: the DLLs' calls among themselves, and msiexec's,
    # stay out of the trace.
    relay = {"RelayInclude": RELAY_INCLUDE, "RelayFromInclude": "setup.exe"}
    for name, value in relay.items():
        prefix.wine(["reg", "add", debug_key, "/v", name, "/d", value, "/f"], check=True)
    # Other messages would cut into the relay lines.
    env = {**prefix.env, "WINEDEBUG": "-all,+timestamp,+relay"}
    exe = folder + "\\setup.exe"
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
    if name.endswith(("FindFirstFileW", "FindClose")):
        return "folder searches (FindFirstFile, FindClose)"
    if name.endswith("CreateProcessW"):
        return "starting msiexec / the tool (CreateProcess)"
    if name.endswith("WaitForSingleObject"):
        return f"waiting for {last_started}"
    if name.endswith("IsUserAnAdmin"):
        return "administrator check"
    if name.startswith("msi."):
        return "other installer calls"
    return name


def _phases(trace: List[str], launch_ms: float, end_ms: float) -> Dict[str, Phase]:
    calls = [m.groups() for m in map(LINE.match, trace) if m]
    if not calls:
        raise RuntimeError("no relay trace:\n" + "\n".join(trace[-20:]))
    main = calls[0][2]  # setup.exe's main thread makes the first call
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
                    add("setup.exe's own code between those calls", t - last_ret)
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
        raise RuntimeError("setup.exe's thread never reached ExitProcess in the relay trace")
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

def measure_decision(bench: Bench, prefix: wine.Prefix) -> Dict[str, Series]:
    say("1. Decision cost: the same version installed, setup.exe -silent against empty.exe")
    commands = {
        "setup.exe -silent": wine_cmd(r"C:\kit\setup.exe", "-silent", expect=EXIT_SAME_VERSION),
        "setup.exe -silent -bogus": wine_cmd(r"C:\kit\setup.exe", "-silent", "-bogus",
                                             expect=EXIT_BAD_COMMAND_LINE),
        "empty.exe": wine_cmd(r"C:\kit\empty.exe", expect=0),
    }
    a = bench.args
    return hyperfine(commands, prefix.env, prefix.kit, a.rounds, 10 * a.scale, 3)


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


def uninstall_command() -> str:
    # Nothing to remove is fine: the first run starts from a fresh prefix.
    return (f"wine {q(MSIEXEC)} /x {q(PACKAGE.product_code)} /qn; rc=$?; "
            f"test $rc -eq 0 -o $rc -eq {low8(ERROR_UNKNOWN_PRODUCT)}")


def install_commands() -> Dict[str, str]:
    by_hand = (wine_cmd(MSIEXEC, "/i", r"C:\kit" + "\\" + PACKAGE.file_name, "/qn", "REBOOT=R")
               + " && " + wine_cmd(TOOL, "/init"))
    return {
        "setup.exe -silent -noreboot": wine_cmd(r"C:\kit\setup.exe", "-silent", "-noreboot",
                                                expect=0),
        "setup.exe -silent -noreboot -args /qn": wine_cmd(
            r"C:\kit\setup.exe", "-silent", "-noreboot", "-args", "/qn", expect=0),
        "msiexec /i … /qn REBOOT=R, then the tool": by_hand,
    }


def measure_install(bench: Bench, prefix: wine.Prefix) -> Dict[str, Series]:
    say("2. Installation overhead: setup.exe on a fresh state against msiexec and the tool by hand")
    commands = install_commands()
    # Each side once, checked: the product lands, the tool runs, the removal undoes it.
    for name, command in commands.items():
        before = len(prefix.ordo_tool_log())
        subprocess.run(command, shell=True, env=prefix.env, cwd=prefix.kit, check=True)
        check(f"{name}: product state", prefix.product_state(PACKAGE.product_code), 5)
        check(f"{name}: tool runs", len(prefix.ordo_tool_log()) - before, 1)
        subprocess.run(uninstall_command(), shell=True, env=prefix.env, cwd=prefix.kit, check=True)
        check(f"{name}: state after removal", prefix.product_state(PACKAGE.product_code), -1)
    a = bench.args
    runs, warmup = 4 * a.scale, 1
    before = len(prefix.ordo_tool_log())
    result = hyperfine(commands, prefix.env, prefix.kit, a.rounds, runs, warmup,
                       prepare=uninstall_command())
    # Every timed run installed and ran the tool: none found the product already there.
    check("tool runs during the measurement", len(prefix.ordo_tool_log()) - before,
          a.rounds * len(commands) * (runs + warmup))
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


def report(data: dict) -> str:
    d, i, s = data["decision"], data["install"], data["scaling"]
    dec = ratio(d["setup.exe -silent"], d["empty.exe"])
    bogus = ratio(d["setup.exe -silent -bogus"], d["empty.exe"])
    setup_i = i["setup.exe -silent -noreboot"]
    setup_qn = i["setup.exe -silent -noreboot -args /qn"]
    by_hand = i["msiexec /i … /qn REBOOT=R, then the tool"]
    ins, ins_qn = ratio(setup_i, by_hand), ratio(setup_qn, by_hand)
    small, big = FOLDER_SIZES[0], FOLDER_SIZES[-1]
    sc = ratio(s[f"setup.exe -silent, {big} files"], s[f"setup.exe -silent, {small} files"])
    sc_empty = ratio(s[f"empty.exe, {big} files"], s[f"empty.exe, {small} files"])
    size = data["size"]
    m = data["machine"]

    def r(pair):
        return f"{pair[0]:.2f}× ({pair[1]:.2f}×)"

    lines = [
        "# Benchmarks",
        "",
        f"Measured by `scripts/bench.sh` on {data['date']}: {m['cpu']}, {m['memory']} of memory, "
        f"{m['system']}, {m['wine']}, {m['hyperfine']}; the one-minute load average was "
        f"{data['load'][0]:.1f} before and {data['load'][1]:.1f} after.",
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
        row("1. Decision cost", d["setup.exe -silent"], r(dec), "≤ 1.5×",
            ratio_verdict(dec, TARGETS["decision"])),
        row("", d["setup.exe -silent -bogus"], r(bogus), "", "reference"),
        row("", d["empty.exe"], "1", "", "baseline"),
        row("2. Installation overhead", setup_i, r(ins), "≤ 1.10×",
            ratio_verdict(ins, TARGETS["install"])),
        row("", setup_qn, r(ins_qn), "", "reference"),
        row("", by_hand, "1", "", "baseline"),
    ]
    for count in FOLDER_SIZES:
        series = s[f"setup.exe -silent, {count} files"]
        rr = ratio(series, s[f"setup.exe -silent, {small} files"])
        last = count == big
        lines.append(row("3. Folder scaling" if count == small else "", series,
                         "1" if count == small else r(rr), "≤ 2× at 10 000" if last else "",
                         ratio_verdict(rr, TARGETS["scaling"]) if last else "baseline"
                         if count == small else ""))
    for count in FOLDER_SIZES:
        series = s[f"empty.exe, {count} files"]
        rr = ratio(series, s[f"empty.exe, {small} files"])
        lines.append(row("", series, "1" if count == small else r(rr), "", "reference"))
    lines += [
        f"| 4. Size | `setup.exe` | | {num(size['bytes'])} bytes ({size['bytes'] / 1024:.1f} KiB) "
        f"| | | ≤ 200 KiB | {verdict(size['bytes'], SIZE_LIMIT)} |",
    ]
    for name, peaks in data["memory"].items():
        peaks = sorted(peaks)
        lines.append(f"| 4. Peak memory | `{name}` | {peaks[0] / 1024:.1f} MiB | "
                     f"{statistics.median(peaks) / 1024:.1f} MiB | {peaks[-1] / 1024:.1f} MiB "
                     f"| | | |")
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
        "1. **Decision cost.** `setup.exe -silent` in a folder whose package (one x64 package "
        "without a UI) is already installed at the same version: it exits 3. The baseline is "
        "empty.exe, a Win32 GUI program that only returns, in the same folder and prefix. "
        "`-silent -bogus` exits 1639 right after the options are parsed, before the "
        "installer library is touched: it shows what merely starting setup.exe costs.",
        "2. **Installation overhead.** Each run starts from the product not installed "
        "(hyperfine's `--prepare` removes it with `msiexec /x … /qn`, untimed), so both sides "
        "do a fresh installation and run the tool once, checked by counting the tool's log "
        "lines. By hand is `wine C:\\windows\\syswow64\\msiexec.exe /i <package> /qn REBOOT=R` "
        "then `wine \"…\\ordo_tool.exe\" /init`: the same 32-bit msiexec that setup.exe "
        "starts through its system directory, named directly because `wine msiexec` would add "
        "a start.exe process. `setup.exe -silent` gives msiexec no `/qn` of its own; the "
        "reference row adds `-args /qn` so that the two msiexec command lines are the same.",
        "3. **Folder scaling.** The decision of 1. in folders holding setup.exe, the package "
        "and empty.exe beside 10, 1 000 or 10 000 small unrelated files (documents, images, "
        "archives; no package, certificate or DLL). empty.exe in the same folders shows what "
        "Wine itself pays for a crowded program folder.",
        "4. **Footprint.** The size of `build/windows/setup.exe`, 200 KiB = 204 800 bytes.",
        "",
        "## Where the time goes",
        "",
        f"Starting setup.exe and parsing its options already costs {bogus[0]:.1f}× empty.exe "
        f"({d['setup.exe -silent -bogus'].median * 1000:.0f} against "
        f"{d['empty.exe'].median * 1000:.0f} ms). {imports_text(data['imports'])}, and before "
        f"it exits on a bad option setup.exe loads {loads_text(data['phases']['bogus'])} "
        "itself. The traced runs below come from "
        "`WINEDEBUG=-all,+timestamp,+relay` with relay limited to calls made by setup.exe "
        "itself (`RelayFromInclude`) into the installer and a few kernel32 and shell32 "
        "functions, so each row is whole calls of setup.exe's; the start row runs from the "
        "`wine` launch to the first traced call. Tracing slows the traced calls a little.",
        "",
    ]
    traces = data["traces"]
    lines += phase_table("A bad option, `setup.exe -silent -bogus`", data["phases"]["bogus"],
                         traces)
    lines += phase_table(f"Decision, {small} files in the folder", data["phases"]["decision"],
                         traces)
    lines += phase_table(f"Decision, {num(big)} files in the folder",
                         data["phases"]["decision_big"], traces)
    lines += phase_table("Installation, `setup.exe -silent -noreboot`",
                         data["phases"]["install"], traces)
    lines += explain_misses(data, dec, ins, ins_qn, sc, sc_empty)
    lines += size_section(size)
    lines += [
        "## Running it",
        "",
        "```sh",
        f"sudo scripts/bench.sh            # setup, build, then {data['seconds']:.0f} s here",
        "scripts/bench.sh --rounds 5 --scale 2   # more rounds and longer ones",
        "```",
        "",
        "It builds its prefixes under `build/bench/` from the end-to-end tests' cached pristine "
        "prefix and removes them afterwards (`--keep` keeps them); the raw numbers are in "
        "`build/bench/results.json`.",
        "",
    ]
    return "\n".join(lines)


def explain_misses(data, dec, ins, ins_qn, sc, sc_empty) -> List[str]:
    p = data["phases"]
    lines = ["### The misses", ""]
    if dec[0] > TARGETS["decision"]:
        ph = p["decision"]
        total = sum(ms for ms, _ in ph.values())
        loaded = sum(ms for _, ms in loads(ph))
        opens, n_opens = phase_ms(ph, "opening the package")
        start = phase_ms(ph, START)[0]
        lines.append(
            f"- **Decision cost, {dec[0]:.1f}× against 1.5×.** In the traced decision the DLLs "
            f"setup.exe loads itself take {loaded:.0f} ms ({loaded / total * 100:.0f} %): "
            f"{loads_text(ph)}. Wine's msi.dll brings some twenty more with it (ole32, rpcrt4, "
            "comctl32, crypt32, wininet, urlmon …), and uxtheme.dll opens the visual theme "
            f"as it starts. Opening the package takes {opens:.0f} ms ({opens / total * 100:.0f} %) "
            f"over {n_opens} `MsiOpenPackageEx` calls on the same file, one each for the "
            "upgrade code, the product code, the version and the product name, and every one "
            f"builds a whole installer session. The start takes {start:.0f} ms "
            f"({start / total * 100:.0f} %). empty.exe does none of this: msi.dll's load "
            f"alone takes {phase_ms(ph, 'loading msi.dll')[0]:.0f} ms against empty.exe's "
            f"whole run of {data['decision']['empty.exe'].median * 1000:.0f} ms, so no program "
            "that asks the installer a question comes within 1.5× of it under Wine. Reading "
            "the four "
            "properties from one opened package would save about "
            f"{opens * (n_opens - 1) / max(n_opens, 1):.0f} ms.")
    if ins[0] > TARGETS["install"]:
        ph = p["install"]
        total = sum(ms for ms, _ in ph.values())
        waits = phase_ms(ph, "waiting for msiexec")[0] + phase_ms(ph, "waiting for the tool")[0]
        spawn = phase_ms(ph, "starting msiexec")[0]
        loaded = sum(ms for _, ms in loads(ph))
        opens, n_opens = phase_ms(ph, "opening the package")
        start = phase_ms(ph, START)[0]
        lines.append(
            f"- **Installation overhead, {ins[0]:.2f}× against 1.10×** "
            f"({ins_qn[0]:.2f}× with `-args /qn`). Of the traced installation, "
            f"{waits:.0f} ms ({waits / total * 100:.0f} %) is msiexec and the tool at work, "
            f"the part both sides share, and {spawn:.0f} ms starting them. Before msiexec "
            f"starts, setup.exe spends {start:.0f} ms starting itself, {loaded:.0f} ms "
            f"loading DLLs ({loads_text(ph)}) and {opens:.0f} ms opening the package "
            f"{n_opens} times: the costs of 1., paid on every installation, against a "
            "by-hand installation that is itself short for this small package. msiexec's "
            f"interface level {'is not' if ins_qn[0] >= ins[0] * 0.95 else 'is part of'} the "
            f"cause: with `-args /qn` the ratio is {ins_qn[0]:.2f}×.")
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


# --- main -------------------------------------------------------------------------------------

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3, help="hyperfine runs per comparison")
    parser.add_argument("--scale", type=int, default=2, help="multiplies the runs per round")
    parser.add_argument("--out", type=Path, default=OUT)
    parser.add_argument("--keep", action="store_true", help="keep the prefixes in build/bench")
    args = parser.parse_args()
    for needed in (wine.SETUP_EXE, wine.KIT_BIN / "empty.exe", wine.KIT_BIN / "ui_driver.exe"):
        if not needed.exists():
            say(f"bench: {needed} is missing; run scripts/build.sh")
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
    bench = Bench(args)
    data: dict = {"date": datetime.date.today().isoformat(), "rounds": args.rounds}
    try:
        say(f"bench: prefixes in {WORK}")
        decided = bench.prefix("decided")
        check("installation", decided.setup(["-silent", "-noreboot"]), 0)
        check("same version", decided.setup(["-silent"]), EXIT_SAME_VERSION)
        check("bad option", decided.setup(["-silent", "-bogus"]), EXIT_BAD_COMMAND_LINE)
        folders = fill_folders(decided)
        fresh = bench.prefix("fresh")

        data["decision"] = measure_decision(bench, decided)
        data["install"] = measure_install(bench, fresh)
        data["scaling"] = measure_scaling(bench, decided, folders)
        data["memory"] = measure_memory(bench, decided, fresh)

        say("Tracing a bad option, two decisions and an installation")
        traces = data["traces"] = 3 * args.scale
        data["phases"] = {
            "bogus": relay_phases(decided, r"C:\kit", ["-silent", "-bogus"], traces),
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

    data["imports"] = {exe.name: pe_imports(exe) for exe in (SETUP, wine.KIT_BIN / "empty.exe")}
    sections, resources = pe_breakdown(SETUP)
    data["size"] = {"bytes": SETUP.stat().st_size, "sections": sections,
                    "resources": resources, "origins": linked_origins(WORK)}
    data["machine"] = machine()
    data["load"] = (load_before, os.getloadavg()[0])
    data["seconds"] = time.monotonic() - started

    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(report(data), encoding="utf-8")
    raw = {k: ({n: s.times for n, s in v.items()} if k in ("decision", "install", "scaling")
               else v) for k, v in data.items()}
    (WORK / "results.json").write_text(json.dumps(raw, indent=1, default=str))
    if not args.keep:
        for prefix in bench.prefixes:
            shutil.rmtree(prefix.path, ignore_errors=True)
    say(f"bench: {args.out} written in {data['seconds']:.0f} s")
    say(args.out.read_text(encoding="utf-8").split("## The comparisons")[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
