"""The benchmark page from made-up results, without Wine: each verdict follows from the numbers
and the target the page itself states beside them."""
import re
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import bench_report  # noqa: E402
from bench_common import (BOGUS, BY_HAND, DECIDE, DECIDE_NO_LOG, DECIDE_OLD, END,  # noqa: E402
                          FOLDER_SIZES, OLD_SETUP, SEAL_SHARE, SEALED_INSTALL_QN, SETUP_INSTALL,
                          SETUP_INSTALL_QN, SETUP_INSTALL_QN_NO_LOG, SIZE_LIMIT, START, TARGETS,
                          Series)

BASE = 0.100  # seconds, every series unless given


def results(size: int, times: dict, compare: bool, sealed: bool = True) -> dict:
    """Results as the parts record them; `times` sets (median, min) of a series by its name, and
    the seal check's ms; without `sealed`, as they were before the sealed build was timed."""
    def series(name, key=None):
        median, least = times.get(key or name, (BASE, BASE))
        return Series(name, [least, median, median + 0.01])

    decision = [DECIDE, DECIDE_NO_LOG, "floor.exe", "floor_package.exe", "peer.exe", BOGUS,
                "empty.exe", *([DECIDE_OLD] if compare else [])]
    scaling = [f"{p}, {n} files" for n in FOLDER_SIZES for p in (DECIDE, "empty.exe")]
    phases = {START + " launch": (10.0, 1), "loading msi.dll and what it imports": (30.0, 1),
              "waiting for msiexec": (50.0, 1), "folder searches": (1.0, 2),
              END + " exit": (5.0, 1)}
    reads = {"ProductCode": "{X}", "UpgradeCode": "{Y}", "ProductVersion": "5.0.10"}
    return {
        "date": "2026-12-07", "rounds": 2, "scale": 1, "load": [0.5, 0.7], "traces": 3,
        "machine": dict.fromkeys(("cpu", "memory", "system", "wine", "hyperfine", "makensis"),
                                 "x"),
        "decision": {n: series(n) for n in decision},
        "install": {n: series(n) for n in (SETUP_INSTALL, SETUP_INSTALL_QN,
                                           SETUP_INSTALL_QN_NO_LOG, BY_HAND)},
        "bulk": {n: series(n, "bulk " + n)
                 for n in (SETUP_INSTALL_QN, BY_HAND, *([SEALED_INSTALL_QN] if sealed else []))},
        "scaling": {n: series(n) for n in scaling},
        "size": {"bytes": size, "sections": [(".text", 4096)], "resources": [("icons", 512)],
                 "others": {"peer.exe": 1, "floor.exe": 1, **({OLD_SETUP: 1} if compare else {})}},
        "memory": {"empty.exe": [7000, 7100]},
        "floor reads": {"floor.exe": reads, "floor_package.exe": reads},
        "bulk package": {"files": 1000, "bytes": 1 << 20, "folders": 8, "msi bytes": 1 << 20},
        "imports": {"setup.exe": ["kernel32.dll"], "empty.exe": ["kernel32.dll"]},
        "phases": dict.fromkeys(("bogus", "floor", "decision", "decision_big", "install"), phases),
        "seconds": {"measuring": 60.0, "tracing": 30.0},
        **({"compare": {"path": "old/setup.exe"}} if compare else {}),
        **({"seal check": [times.get("seal check", 1)] * 3} if sealed else {}),
    }


RATIO = re.compile(r"^(\d+\.\d+)× \((\d+\.\d+)×\)")
TARGET = re.compile(r"^≤ (\d+(?:\.\d+)?)×")
SHARE = re.compile(r"^(\d+(?:\.\d+)?) %")
SHARE_TARGET = re.compile(r"^≤ (\d+(?:\.\d+)?) %")


def judged_rows(page: str):
    """(command, medians' ratio, minimums' ratio, stated target, verdict) of each judged row; a
    share counts as both ratios."""
    for line in page.splitlines():
        cells = [c.strip() for c in line.split("|")[1:-1]]
        if len(cells) != 8:
            continue
        if RATIO.match(cells[5]) and TARGET.match(cells[6]):
            median, least = map(float, RATIO.match(cells[5]).groups())
            yield cells[1], median, least, float(TARGET.match(cells[6]).group(1)), cells[7]
        elif SHARE.match(cells[5]) and SHARE_TARGET.match(cells[6]):
            share = float(SHARE.match(cells[5]).group(1))
            yield cells[1], share, share, float(SHARE_TARGET.match(cells[6]).group(1)), cells[7]


def expected(median: float, least: float, limit: float) -> str:
    if (median <= limit) == (least <= limit):
        return "met" if median <= limit else "**missed**"
    return "met by the medians only" if median <= limit else "missed by the medians only"


def near_targets(offset: float) -> dict:
    """Every judged ratio `offset` from its target: a page that states one target and judges by
    another says so on one side or the other."""
    def at(limit):
        return BASE * (limit + offset), BASE * (limit + offset)

    decide = at(TARGETS["floor"])  # against the floor and the run without a log alike
    assert TARGETS["floor"] == TARGETS["log"]
    return {DECIDE: decide, DECIDE_OLD: tuple(t / (TARGETS["before"] + offset) for t in decide),
            BOGUS: at(TARGETS["bad option"]), SETUP_INSTALL: at(TARGETS["install"]),
            SETUP_INSTALL_QN: at(TARGETS["log"]), "bulk " + SETUP_INSTALL_QN: at(TARGETS["bulk"]),
            f"{DECIDE}, {FOLDER_SIZES[-1]} files": at(TARGETS["scaling"]),
            "seal check": BASE * 1000 * (SEAL_SHARE + offset)}


# Each case moves some series across their targets: all met, all missed, the two ratios apart.
CASES = {
    "just under the targets": near_targets(-0.01),
    "just over the targets": near_targets(0.01),
    "at the baselines": {},
    "slower everywhere": {DECIDE: (0.2, 0.2), BOGUS: (0.2, 0.2), SETUP_INSTALL: (0.2, 0.2),
                          SETUP_INSTALL_QN: (0.2, 0.2), "bulk " + SETUP_INSTALL_QN: (0.2, 0.2),
                          f"{DECIDE}, {FOLDER_SIZES[-1]} files": (0.3, 0.3), "seal check": 10},
    "medians and minimums apart": {DECIDE: (0.2, 0.09), "floor.exe": (0.09, 0.2),
                                   BOGUS: (0.05, 0.2)},
    "a slow seal check alone": {"seal check": 10},
}


@pytest.mark.parametrize("compare, sealed", [(False, True), (True, True), (False, False)],
                         ids=["alone", "compared", "results from before sealing"])
@pytest.mark.parametrize("case", CASES)
def test_each_verdict_follows_from_its_stated_target(case, compare, sealed):
    page = bench_report.report(results(1000, CASES[case], compare, sealed))
    rows = list(judged_rows(page))
    commands = [r[0] for r in rows]
    assert (f"against `{OLD_SETUP}`" in commands) == compare
    assert ("its seal check" in commands) == sealed
    # floor, peer, two logs, bad option, two installs, scaling; the seal check
    assert len(rows) == 8 + compare + sealed
    for command, median, least, limit, verdict in rows:
        assert verdict == expected(median, least, limit), command
    assert ("None: every target was met." in page) == all("missed" not in r[4] for r in rows)


@pytest.mark.parametrize("size", [SIZE_LIMIT, SIZE_LIMIT + 1])
def test_size_is_judged_by_the_limit_the_page_states(size):
    page = bench_report.report(results(size, {}, compare=False))
    row = next(line for line in page.splitlines() if line.startswith("| 6. Size |"))
    kib = float(re.search(r"≤ (\d+(?:\.\d+)?) KiB", row).group(1))
    assert row.endswith("| met |") == (size <= kib * 1024)
    stated = re.search(r"against its limit, [\d.]+ KiB = ([\d ]+) bytes", page).group(1)
    assert int(stated.replace(" ", "")) == kib * 1024
    assert (f"bytes against {stated}.**" in page) == (size > kib * 1024)
