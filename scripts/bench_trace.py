#!/usr/bin/env python3
"""The benchmark's traces: where setup.exe's time goes, phase by phase, from Wine's relay trace
of the calls it makes, into the "phases" of build/bench/results.json. Run alone, it traces the
programs the last measurement copied to build/bench and adds to that measurement's results."""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from typing import Dict, List, Sequence, Tuple

import bench_common  # first: it puts tests/e2e and tests/kit on the path
from bench_common import (END, FOLDER_SIZES, START, WORK, Bench, Phase, say, uninstall_command)
import wine

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


def trace(scale: int, decided: wine.Prefix, fresh: wine.Prefix, folders: Dict[int, str]) -> dict:
    """A bad option, the floor, two decisions and an installation, traced: the results' "traces"
    (runs each) and "phases"."""
    say("Tracing a bad option, the floor, two decisions and an installation")
    started = time.monotonic()
    runs = 3 * scale

    def uninstall():
        subprocess.run(uninstall_command(), shell=True, env=fresh.env, cwd=fresh.kit, check=True)

    phases = {
        "bogus": relay_phases(decided, r"C:\kit", ["-silent", "-bogus"], runs),
        "floor": relay_phases(decided, r"C:\kit", [], runs, program="floor.exe"),
        "decision": relay_phases(decided, folders[FOLDER_SIZES[0]], ["-silent"], runs),
        "decision_big": relay_phases(decided, folders[FOLDER_SIZES[-1]], ["-silent"], runs),
        "install": relay_phases(fresh, r"C:\kit", ["-silent", "-noreboot"], runs,
                                prepare=uninstall),
    }
    return {"traces": runs, "phases": phases, "seconds": time.monotonic() - started}


def add_to(data: dict, traced: dict) -> None:
    """The traces into a measurement's results; the load after now follows the tracing."""
    data["traces"], data["phases"] = traced["traces"], traced["phases"]
    data.setdefault("seconds", {})["tracing"] = traced["seconds"]
    if "load" in data:
        data["load"][1] = os.getloadavg()[0]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scale", type=int, help="multiplies the traced runs (default: the "
                        "measurement's)")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes in build/bench")
    args = parser.parse_args()
    data = bench_common.load_results()
    if "decision" not in data or not bench_common.SETUP.exists():
        say(f"bench: no measurement in {WORK}; run scripts/bench_measure.py first")
        return 1
    bench_common.prepare_work(copy=False)
    bench = Bench()
    try:
        traced = trace(args.scale or data["scale"], *bench.common())
    finally:
        bench.close()
    add_to(data, traced)
    bench_common.save_results(data)
    if not args.keep:
        bench.remove()
    say(f"bench: traces added to {bench_common.RESULTS}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
