#!/usr/bin/env python3
"""The benchmark's report: docs/benchmarks.md from build/bench/results.json, its limits and
targets those of bench_common."""
import argparse
import re
import statistics
import sys
from pathlib import Path
from typing import Dict, List, Optional, Tuple

from bench_common import (BOGUS, BY_HAND, DECIDE, DECIDE_NO_LOG, DECIDE_OLD, END,
                          FLOOR_PROPERTIES, FOLDER_SIZES, OLD_SETUP, OUT, RESULTS, SEAL_SHARE,
                          SEALED_INSTALL_QN, SETUP_INSTALL, SETUP_INSTALL_QN,
                          SETUP_INSTALL_QN_NO_LOG, SIZE_LIMIT, START, TARGETS, Phase, Series,
                          load_results, num, ratio, say)


# --- the traces in words -----------------------------------------------------------------------

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



# --- the page ---------------------------------------------------------------------------------

def verdict(value: float, limit: float) -> str:
    return "met" if value <= limit else "**missed**"


def ratio_verdict(pair: Tuple[float, float], limit: float) -> str:
    """Met or missed when the medians and the minimums agree; noise when they do not."""
    median, least = (v <= limit for v in pair)
    if median == least:
        return verdict(pair[0], limit)
    return "met by the medians only" if median else "missed by the medians only"


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


def seal_check(data: dict) -> Optional[Tuple[float, float]]:
    """(median ms of the seal check, its share of the sealed installation's median); nothing
    from results older than the sealed build."""
    sealed, checks = data["bulk"].get(SEALED_INSTALL_QN), data.get("seal check")
    if not sealed or not checks:
        return None
    ms = statistics.median(checks)
    return ms, ms / (sealed.median * 1000)


def report(data: dict) -> str:
    d, i, b, s = data["decision"], data["install"], data["bulk"], data["scaling"]
    setup, floor, peer = d[DECIDE], d["floor.exe"], d["peer.exe"]
    vs_floor, vs_peer = ratio(setup, floor), ratio(setup, peer)
    old = d.get(DECIDE_OLD)
    bogus = ratio(d[BOGUS], d["empty.exe"])
    ins, ins_qn = ratio(i[SETUP_INSTALL], i[BY_HAND]), ratio(i[SETUP_INSTALL_QN], i[BY_HAND])
    log_decision = ratio(setup, d[DECIDE_NO_LOG])
    log_install = ratio(i[SETUP_INSTALL_QN], i[SETUP_INSTALL_QN_NO_LOG])
    bulk = ratio(b[SETUP_INSTALL_QN], b[BY_HAND])
    sealed, seal = b.get(SEALED_INSTALL_QN), seal_check(data)
    small, big = FOLDER_SIZES[0], FOLDER_SIZES[-1]
    sc = ratio(s[f"{DECIDE}, {big} files"], s[f"{DECIDE}, {small} files"])
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
    ]
    if old:
        lines += [
            bare_row("", f"against `{OLD_SETUP}`", "", r(ratio(setup, old)) + " before",
                     f"≤ {TARGETS['before']:.2f}× before", judged(ratio(setup, old), "before")),
            row("", old, r(ratio(old, floor)) + " the floor", "", "before")]
    lines += [
        row("", floor, "1", "", "the floor"),
        row("", d["floor_package.exe"], r(ratio(d["floor_package.exe"], floor)), "",
            "reference"),
        row("", peer, r(ratio(peer, floor)), "", "the peer"),
        bare_row("", "the log's cost", "", r(log_decision) + " without it",
                 f"≤ {TARGETS['log']:.2f}×", judged(log_decision, "log")),
        row("", d[DECIDE_NO_LOG], "", "", "reference"),
        row("2. Bad option", d[BOGUS], r(bogus),
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
    ]
    if seal:
        lines += [
            row("", sealed, r(ratio(sealed, b[BY_HAND])), "", "reference"),
            bare_row("", "its seal check", f"{seal[0]:.0f}",
                     f"{seal[1] * 100:.1f} % of the installation", f"≤ {SEAL_SHARE * 100:g} %",
                     verdict(seal[1], SEAL_SHARE))]
    lines.append(row("", b[BY_HAND], "1", "", "baseline"))
    for count in FOLDER_SIZES:
        series = s[f"{DECIDE}, {count} files"]
        rr = ratio(series, s[f"{DECIDE}, {small} files"])
        last = count == big
        target = f"≤ {TARGETS['scaling']:g}× at {num(big)}" if last else ""
        lines.append(row("5. Folder scaling" if count == small else "", series,
                         "1" if count == small else r(rr), target,
                         judged(rr, "scaling") if last else "baseline"
                         if count == small else ""))
    for count in FOLDER_SIZES:
        series = s[f"empty.exe, {count} files"]
        rr = ratio(series, s[f"empty.exe, {small} files"])
        lines.append(row("", series, "1" if count == small else r(rr), "", "reference"))
    lines.append(bare_row("6. Size", "`setup.exe`", f"{num(size['bytes'])} bytes "
                          f"({size['bytes'] / 1024:.1f} KiB)", "", f"≤ {SIZE_LIMIT / 1024:g} KiB",
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
    ]
    if old:
        lines.append(
            f"   - **before**, `{OLD_SETUP}`, the setup.exe given to `--compare` "
            f"(`{data['compare']['path']}`, {num(size['others'][OLD_SETUP])} bytes): setup.exe "
            f"takes {more_or_less((setup.median - old.median) * 1000)} than it by the medians, "
            f"{more_or_less((setup.min - old.min) * 1000)} by the minimums.")
    lines += [
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
        "without warm-up runs, for a burst of load on the machine to fall on both sides."
        + (" The sealed setup.exe is the same source built with `-DQV_SEAL` for a kit of this "
           "package alone, and runs from such a kit whose package is a hard link to the same "
           "file: before it uses the package it reads it whole for its SHA-256 and holds it "
           "open. Its log gives each check's milliseconds; its seal check is their sum per run, "
           f"the median over {len(data['seal check'])} runs (the timed ones and the checked one "
           "before them), as a share of the sealed installation's median. By the medians the "
           "sealed installation takes "
           f"{more_or_less((sealed.median - b[SETUP_INSTALL_QN].median) * 1000)} than the "
           f"unsealed one, against the seal check's {seal[0]:.0f} ms." if seal else ""),
        "5. **Folder scaling.** The decision of 1. in folders holding setup.exe, the package "
        "and empty.exe beside 10, 1 000 or 10 000 small unrelated files (documents, images, "
        "archives; no package, certificate or DLL). empty.exe in the same folders shows what "
        "Wine itself pays for a crowded program folder.",
        f"6. **Footprint.** The size of `build/windows/setup.exe` against its limit, "
        f"{SIZE_LIMIT / 1024:g} KiB = {num(SIZE_LIMIT)} bytes; the peer's and the floor's"
        + (", and the older setup.exe's," if old else "") + " for reference.",
        "",
        "## Where the time goes",
        "",
        f"Starting setup.exe and parsing its options already costs {bogus[0]:.1f}× empty.exe "
        f"({d[BOGUS].median * 1000:.0f} against "
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
    seconds = sum(data["seconds"].values())
    lines += [
        "## Running it",
        "",
        "```sh",
        f"sudo scripts/bench.sh            # setup, build, then {seconds:.0f} s here",
        "scripts/bench.sh --rounds 5 --scale 2   # more rounds and longer ones",
        "scripts/bench.sh --compare old/setup.exe  # the decision beside an older setup.exe too",
        "python3 scripts/bench.py --report-only  # this page again from the last results",
        "```",
        "",
        "It builds its prefixes under `build/bench/` from the end-to-end tests' cached pristine "
        "prefix and removes them afterwards (`--keep` keeps them); the sealed setup.exe is built "
        "in `build/bench/sealed-build/`, kept for the next run. The raw numbers are in "
        "`build/bench/results.json`. Its parts also run alone: `scripts/bench_measure.py` "
        "times and writes the results, `scripts/bench_trace.py` adds the traces to them and "
        "`scripts/bench_report.py` writes this page. The peer needs makensis (Debian's `nsis`), "
        "which scripts/setup.sh installs; the build makes `peer.exe` wherever makensis is found.",
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
    setup_ms = d[DECIDE].median * 1000
    if vs_floor[0] > TARGETS["floor"] or vs_peer[0] > TARGETS["peer"]:
        lines.append(
            f"- **Decision, {vs_floor[0]:.2f}× the floor against {TARGETS['floor']:.2f}×, "
            f"{vs_peer[0]:.2f}× the peer against {TARGETS['peer']:.2f}×.** setup.exe takes "
            f"{more_or_less(setup_ms - d['floor.exe'].median * 1000)} than the floor and "
            f"{more_or_less(setup_ms - d['peer.exe'].median * 1000)} than the peer by the "
            "medians. In the traced runs above, the phases that cost it the most beyond the "
            f"floor's: {excess(p['decision'], p['floor'])}.")
    old = d.get(DECIDE_OLD)
    if old and ratio(d[DECIDE], old)[0] > TARGETS["before"]:
        lines.append(
            f"- **Decision against before, {ratio(d[DECIDE], old)[0]:.2f}× against "
            f"{TARGETS['before']:.2f}×.** setup.exe takes "
            f"{more_or_less(setup_ms - old.median * 1000)} than `{OLD_SETUP}` by the medians, "
            f"{more_or_less((d[DECIDE].min - old.min) * 1000)} by the minimums.")
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
    seal = seal_check(data)
    if seal and seal[1] > SEAL_SHARE:
        msi_mib = data["bulk package"]["msi bytes"] / 1024 / 1024
        lines.append(
            f"- **The seal check, {seal[1] * 100:.1f} % of the sealed installation against "
            f"{SEAL_SHARE * 100:g} %.** {seal[0]:.0f} ms to read the {msi_mib:.1f} MiB package "
            f"once and hash it with Wine's SHA-256, {msi_mib / seal[0] * 1000:.0f} MiB/s.")
    if sc[0] > TARGETS["scaling"]:
        lines.append(f"- **Folder scaling, {sc[0]:.2f}× against {TARGETS['scaling']:g}×.** "
                     + scaling_text(data, sc_empty))
    if data["size"]["bytes"] > SIZE_LIMIT:
        lines.append(f"- **Size, {num(data['size']['bytes'])} bytes against "
                     f"{num(SIZE_LIMIT)}.** See "
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
    return lines + [""]


def write(data: dict, out: Path = OUT) -> None:
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_text(report(data), encoding="utf-8")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=OUT)
    args = parser.parse_args()
    data = load_results()
    if "phases" not in data:
        say(f"bench: {RESULTS} lacks a measurement or its traces; run scripts/bench.sh")
        return 1
    write(data, args.out)
    say(f"bench: {args.out} written from {RESULTS}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
