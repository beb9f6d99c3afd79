#!/usr/bin/env python3
"""The benchmark's measurements: setup.exe under Wine timed side by side with hyperfine against
plain baselines and a peer, its peak memory and its size, into build/bench/results.json.

The machine is shared and noisy, so every measurement is a ratio of two commands timed in the
same hyperfine run, repeated over rounds that alternate the order of the commands."""
import argparse
import datetime
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Tuple

import bench_common  # first: it puts tests/e2e and tests/kit on the path
from bench_common import (BOGUS, BULK, BY_HAND, DECIDE, DECIDE_NO_LOG, DECIDE_OLD,
                          EXIT_BAD_COMMAND_LINE, EXIT_SAME_VERSION, MSIEXEC, NO_LOG, OLD_SETUP,
                          PACKAGE, SEALED_BUILD, SEALED_INSTALL_QN, SEALED_KIT, SETUP,
                          SETUP_INSTALL, SETUP_INSTALL_QN, SETUP_INSTALL_QN_NO_LOG, WORK, Bench,
                          Series, check, low8, num, q, say, uninstall_command)
import wine
from make_kit import PAYLOAD_FOLDERS, Package


# --- hyperfine ---------------------------------------------------------------------------------

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
            f"{n} {Series(n, times[n]).median * 1000:.0f} ms" for n in names))
    return {name: Series(name, t) for name, t in times.items()}


def version(*argv: str) -> str:
    return subprocess.run(argv, capture_output=True, text=True).stdout.strip()


def wine_cmd(exe: str, *args: str, expect: Optional[int] = None) -> str:
    """A shell command for hyperfine; with `expect`, a different exit code fails the run."""
    line = " ".join(["wine", q(exe), *map(q, args)])
    return f"{line}; test $? -eq {low8(expect)}" if expect is not None else line


# --- peak memory and footprint -----------------------------------------------------------------

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


def machine() -> Dict[str, str]:
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
                if l.startswith("model name")), platform.machine())
    memory = next((l.split()[1] for l in open("/proc/meminfo") if l.startswith("MemTotal")), "0")
    distro = next((l.split("=", 1)[1].strip().strip('"') for l in open("/etc/os-release")
                   if l.startswith("PRETTY_NAME")), "Linux")
    return {
        "cpu": f"{os.cpu_count()} × {cpu}", "memory": f"{round(int(memory) / 1024 / 1024)} GB",
        "system": f"{distro}, kernel {platform.release()}", "wine": version("wine", "--version"),
        "hyperfine": version("hyperfine", "--version"),
        "makensis": "makensis " + version("makensis", "-VERSION"),
    }


# --- the scenarios -----------------------------------------------------------------------------

DECISION_COMMANDS = {
    DECIDE: ("setup.exe", ["-silent"], EXIT_SAME_VERSION),
    DECIDE_NO_LOG: ("setup.exe", ["-silent", *NO_LOG], EXIT_SAME_VERSION),
    "floor.exe": ("floor.exe", [], EXIT_SAME_VERSION),
    "floor_package.exe": ("floor_package.exe", [], EXIT_SAME_VERSION),
    "peer.exe": ("peer.exe", [], EXIT_SAME_VERSION),
    BOGUS: ("setup.exe", ["-silent", "-bogus"], EXIT_BAD_COMMAND_LINE),
    "empty.exe": ("empty.exe", [], 0),
}


def measure_decision(args, prefix: wine.Prefix, compare: bool) -> Dict[str, Series]:
    say("1. Decision: the same version installed, setup.exe -silent against the floor and the "
        "peer" + (f" and {OLD_SETUP}" if compare else "") + "; 2. a bad option against empty.exe")
    programs = dict(DECISION_COMMANDS)
    if compare:
        programs[DECIDE_OLD] = (OLD_SETUP, ["-silent"], EXIT_SAME_VERSION)
    commands = {name: wine_cmd("C:\\kit\\" + exe, *argv, expect=code)
                for name, (exe, argv, code) in programs.items()}
    return hyperfine(commands, prefix.env, prefix.kit, args.rounds, 10 * args.scale, 3)


def check_baselines(decided: wine.Prefix, fresh: wine.Prefix,
                    compare: bool) -> Dict[str, Dict[str, str]]:
    """The floors and the peer decide, not merely exit 3: where the product is missing they
    exit 0. Returns what each floor read from the package, by program."""
    for exe in ("floor.exe", "floor_package.exe", "peer.exe"):
        check(f"{exe} without the product", fresh.wine(["C:\\kit\\" + exe]).returncode, 0)
        check(f"{exe} with the product", decided.wine(["C:\\kit\\" + exe]).returncode,
              EXIT_SAME_VERSION)
    if compare:
        check(f"{OLD_SETUP} -silent with the product",
              decided.wine(["C:\\kit\\" + OLD_SETUP, "-silent"]).returncode, EXIT_SAME_VERSION)
    reads = {}
    for exe in ("floor.exe", "floor_package.exe"):
        result = decided.wine(["C:\\kit\\" + exe, "-print"])
        check(f"{exe} -print", result.returncode, EXIT_SAME_VERSION)
        lines = result.stdout.decode("utf-8").splitlines()
        reads[exe] = dict(line.split("=", 1) for line in lines if "=" in line)
    return reads


def measure_scaling(args, prefix: wine.Prefix, folders: Dict[int, str]) -> Dict[str, Series]:
    say("5. Folder scaling: the decision with 10, 1 000 and 10 000 unrelated files beside it")
    commands = {}
    for count, folder in folders.items():
        commands[f"{DECIDE}, {count} files"] = wine_cmd(
            folder + r"\setup.exe", "-silent", expect=EXIT_SAME_VERSION)
        commands[f"empty.exe, {count} files"] = wine_cmd(folder + r"\empty.exe", expect=0)
    return hyperfine(commands, prefix.env, prefix.kit, args.rounds, 5 * args.scale, 2)


def install_commands(package: Package, plain: bool = True,
                     sealed: Optional[str] = None) -> Dict[str, str]:
    """setup.exe against the same installation by hand; `plain` adds setup.exe without /qn,
    `sealed` the sealed setup.exe in that folder."""
    setup = r"C:\kit\setup.exe"
    commands = {SETUP_INSTALL: wine_cmd(setup, "-silent", "-noreboot", expect=0)} if plain else {}
    commands[SETUP_INSTALL_QN] = wine_cmd(setup, "-silent", "-noreboot", "-args", "/qn", expect=0)
    if sealed:
        commands[SEALED_INSTALL_QN] = wine_cmd(sealed + "\\setup.exe", "-silent", "-noreboot",
                                               "-args", "/qn", expect=0)
    if plain:
        commands[SETUP_INSTALL_QN_NO_LOG] = wine_cmd(setup, "-silent", "-noreboot", "-args", "/qn",
                                                     *NO_LOG, expect=0)
    commands[BY_HAND] = (
        wine_cmd(MSIEXEC, "/i", "C:\\kit\\" + package.file_name, "/qn", "REBOOT=R")
        + " && " + wine_cmd(package.tool_folder() + "ordo_tool.exe", "/init"))
    return commands


def sealed_kit(prefix: wine.Prefix, package: Package) -> str:
    """A kit of the package alone, beside C:\\kit, with a setup.exe sealed for it; its folder.
    The package is a hard link: both setup.exe read the same file, from the same cache."""
    folder = prefix.host(SEALED_KIT)
    folder.mkdir()
    os.link(prefix.kit / package.file_name, folder / package.file_name)
    shutil.copy2(wine.build_sealed_setup(folder, SEALED_BUILD), folder / "setup.exe")
    return SEALED_KIT


SEALED_LINE = re.compile(r"seal: .* as sealed \(.*\) in (\d+) ms$")


def seal_checks(prefix: wine.Prefix) -> List[int]:
    """Per run of a sealed setup.exe, the milliseconds its log gives its checks of the seal."""
    runs = []
    for log in prefix.drive_c.glob("users/*/Temp/QuorvaneSetup_*.log"):
        lines = log.read_text("utf-8").splitlines()
        if any("kit sealed: " in line for line in lines):
            checks = [int(m.group(1)) for m in map(SEALED_LINE.search, lines) if m]
            check(f"{log.name}: seal checks", bool(checks), True)
            runs.append(sum(checks))
    return runs


def measure_install(prefix: wine.Prefix, package: Package, commands: Dict[str, str],
                    rounds: int, runs: int, warmup: int = 1) -> Dict[str, Series]:
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


def measure_memory(args, decided: wine.Prefix, fresh: wine.Prefix) -> Dict[str, List[int]]:
    say("6. Peak memory")
    n = 3 * args.scale
    peaks = {
        "setup.exe -silent (decision)": [
            peak_rss(decided, [r"C:\kit\setup.exe", "-silent"], EXIT_SAME_VERSION)
            for _ in range(n)],
        BOGUS: [peak_rss(decided, [r"C:\kit\setup.exe", "-silent", "-bogus"],
                         EXIT_BAD_COMMAND_LINE) for _ in range(n)],
        "empty.exe": [peak_rss(decided, [r"C:\kit\empty.exe"], 0) for _ in range(n)],
    }
    install = []
    for _ in range(n):
        subprocess.run(uninstall_command(), shell=True, env=fresh.env, cwd=fresh.kit, check=True)
        install.append(peak_rss(fresh, [r"C:\kit\setup.exe", "-silent", "-noreboot"], 0))
    peaks["setup.exe -silent -noreboot (installation; its own process)"] = install
    return peaks


def measure(args, bench: Bench, decided: wine.Prefix, fresh: wine.Prefix,
            folders: Dict[int, str]) -> dict:
    """Every timed comparison, the peak memory and the footprint, as results.json holds them."""
    started, load_before = time.monotonic(), os.getloadavg()[0]
    compare = (WORK / OLD_SETUP).exists()
    data: dict = {"date": datetime.date.today().isoformat(), "rounds": args.rounds,
                  "scale": args.scale}
    bulk = bench.prefix("bulk", BULK)
    say("Building setup.exe sealed for the bulk package")
    sealed = sealed_kit(bulk, BULK)
    data["bulk package"] = {
        "files": BULK.payload.files + 1, "bytes": BULK.payload.total_bytes,
        "folders": len(PAYLOAD_FOLDERS), "msi bytes": (bulk.kit / BULK.file_name).stat().st_size}
    data["floor reads"] = check_baselines(decided, fresh, compare)

    data["decision"] = measure_decision(args, decided, compare)
    say("3. Installation: setup.exe on a fresh state against msiexec and the tool by hand")
    data["install"] = measure_install(fresh, PACKAGE, install_commands(PACKAGE), args.rounds,
                                      4 * args.scale)
    say(f"4. Installation of {num(BULK.payload.files + 1)} files, the same way, also sealed")
    # Twice the rounds, a few seconds each: a burst of load on the shared machine then lands on
    # both sides. The checked installation before has warmed the caches.
    data["bulk"] = measure_install(bulk, BULK, install_commands(BULK, plain=False, sealed=sealed),
                                   2 * args.rounds, args.scale, warmup=0)
    # The checked run and the timed ones: the same work on the same warm file.
    data["seal check"] = seal_checks(bulk)
    check("sealed runs logged", len(data["seal check"]), 1 + 2 * args.rounds * args.scale)
    data["scaling"] = measure_scaling(args, decided, folders)
    data["memory"] = measure_memory(args, decided, fresh)

    data["imports"] = {exe.name: pe_imports(exe) for exe in (SETUP, WORK / "empty.exe")}
    sections, resources = pe_breakdown(SETUP)
    others = ("peer.exe", "floor.exe", *((OLD_SETUP,) if compare else ()))
    data["size"] = {"bytes": SETUP.stat().st_size, "sections": sections, "resources": resources,
                    "others": {p: (WORK / p).stat().st_size for p in others}}
    if compare:
        data["compare"] = {"path": str(args.compare)}
    data["machine"] = machine()
    data["load"] = [load_before, os.getloadavg()[0]]
    data["seconds"] = {"prefixes": bench.seconds, "measuring": time.monotonic() - started}
    return data


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--rounds", type=int, default=3, help="hyperfine runs per comparison")
    parser.add_argument("--scale", type=int, default=2, help="multiplies the runs per round")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes in build/bench")
    parser.add_argument("--compare", type=Path, metavar="OLD_SETUP_EXE",
                        help="also time this older setup.exe in the decision's runs")


def start(args) -> Optional[str]:
    """build/bench made ready for a measurement; what is missing for one, if anything."""
    missing = bench_common.missing_programs()
    if missing:
        return (f"{missing[0]} is missing; run scripts/bench.sh, which installs makensis "
                "and builds")
    if args.compare and not args.compare.is_file():
        return f"{args.compare}: no such file"
    bench_common.prepare_work(args.compare)
    return None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    add_arguments(parser)
    args = parser.parse_args()
    problem = start(args)
    if problem:
        say(f"bench: {problem}")
        return 1
    bench = Bench()
    try:
        decided, fresh, folders = bench.common()
        data = measure(args, bench, decided, fresh, folders)
    finally:
        bench.close()
    bench_common.save_results(data)
    if not args.keep:
        bench.remove()
    say(f"bench: {bench_common.RESULTS} written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
