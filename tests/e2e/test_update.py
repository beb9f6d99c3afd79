"""Updates under Wine, as one table: what the real installer makes of the version decision, the
level and language kept or changed, the questions asked, the patch of the installed product's
cached package, its source list, and two products left registered. Each row gives what is
installed, the command line, the box answered, the exit code, and after it every product's
package (None: gone), the tool's runs and the lines of setup.exe's and msiexec's logs."""
import dataclasses
import re
import shutil
import subprocess
from typing import Callable, Dict, Optional, Sequence, Tuple

import pytest

import make_kit
from make_kit import Package
from wine import exit_line

pytestmark = pytest.mark.needs_setup

IDOK, IDYES, IDNO = 1, 6, 7
NEW_CODE = "{0A11CE00-0000-4000-8000-000000000510}"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000509}"
KC3_RUS = "qv_x64_kc3_rus.msi"
TOOL_EXE = Package(KC3_RUS).tool_folder() + "ordo_tool.exe"
TOOL = f'"{TOOL_EXE}" /init'
MSI_LOG = r"/l*v C:\msi.log"


def installed(name=KC3_RUS, version="5.0.9", code=OLD_CODE, **fields):
    """The product as an earlier kit installed it, from its own folder C:\\old."""
    def step(prefix):
        make_kit.build_package(Package(name, version=version, product_code=code, **fields),
                               prefix.drive_c / "old")
        assert prefix.msiexec("/i", "C:\\old\\" + name, "/qn") == 0
        assert prefix.product_state(code) == 5
    return step


def kit(version="5.0.10", code=NEW_CODE, **fields):
    def step(prefix):
        prefix.add_packages(*[Package(n, version=version, product_code=code, **fields) for n in
                              ("qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", KC3_RUS,
                               "qv_x64_kc3_eng.msi")])
    return step


def prerequisite(prefix):
    """Another product's package beside the kit: only packages with a platform token count."""
    prereq = Package("aaa_prereq.msi", version="1.0.0", release_flags=None,
                     upgrade_code="{0A11CE00-1111-4000-8000-0000000000AA}")
    make_kit.build_package(prereq, prefix.drive_c / "old")
    assert prefix.msiexec("/i", r"C:\old\aaa_prereq.msi", "/qn") == 0
    prefix.add_packages(prereq)


def code_per_level(prefix):
    """The package installed is the one whose code decides the reinstallation, the source list
    and the tool, not the platform package that sorts first."""
    codes = {"qv_x64_kc1_eng.msi": NEW_CODE, KC3_RUS: OLD_CODE}
    prefix.add_packages(*[Package(n, version="5.0.10", product_code=c) for n, c in codes.items()])


def kit_installed_from_a_copy(prefix):
    """The kit's own kc3 Russian package, installed from a copy in C:\\old: its source list names
    that folder, which then goes away."""
    kit()(prefix)
    (prefix.drive_c / "old").mkdir()
    shutil.copy2(prefix.kit / KC3_RUS, prefix.drive_c / "old" / KC3_RUS)
    assert prefix.msiexec("/i", "C:\\old\\" + KC3_RUS, "/qn") == 0
    shutil.rmtree(prefix.drive_c / "old")


def tool_deleted(prefix):
    prefix.host(TOOL_EXE).unlink()


def repaired_from_the_kit(prefix):
    """The file is back, no removal action ran, and a later repair by Windows alone finds its
    source in the kit."""
    assert prefix.host(TOOL_EXE).exists()
    assert prefix.ks_log() == []
    tool_deleted(prefix)
    assert prefix.msiexec("/i", NEW_CODE, "REINSTALL=ALL", "REINSTALLMODE=omus", "/qn") == 0
    assert prefix.host(TOOL_EXE).exists()


def _sequence(prefix):
    cached = prefix.product_info(OLD_CODE, "LocalPackage")
    out = subprocess.run(["msiinfo", "export", str(prefix.host(cached)), "InstallExecuteSequence"],
                         capture_output=True, text=True, check=True).stdout
    rows = [line.split("\t") for line in out.splitlines()[3:]]
    return {row[0]: row[1] for row in rows if row[0].startswith("KSProcess")}


def unpatched(prefix):
    assert _sequence(prefix) == {"KSProcess": 'REMOVE="ALL"', "KSProcess64": 'REMOVE="ALL"'}


def removed_after_the_patch(upgrading: bool):
    """Wine's own upgrade does not set UPGRADINGPRODUCTCODE for the nested removal, so the patch
    is shown with explicit removals of the old product, with and without it."""
    def check(prefix):
        guarded = '(REMOVE="ALL") AND NOT UPGRADINGPRODUCTCODE'
        assert _sequence(prefix) == {"KSProcess": guarded, "KSProcess64": guarded}
        extra = [f"UPGRADINGPRODUCTCODE={NEW_CODE}"] if upgrading else []
        assert prefix.msiexec("/x", OLD_CODE, "/qn", *extra) == 0
        assert prefix.product_state(OLD_CODE) == -1
        ran = [line.split()[0] for line in prefix.ks_log()]
        assert ran == ([] if upgrading else ["KSProcess", "KSProcess64"])
    return check


def repairs_without_removal_actions(prefix):
    assert prefix.msiexec("/i", NEW_CODE, "REINSTALL=ALL", "/qn") == 0
    assert prefix.ks_log() == []


def next_run_stops_before_deciding(prefix):
    assert prefix.setup(["-silent", "-noreboot"]) == 1638
    assert re.search(r"^error: two related products are installed: \{[^}]+\} and \{[^}]+\}; "
                     r"remove one", prefix.setup_log(), re.M)


@dataclasses.dataclass
class Case:
    arrange: Sequence[Callable]  # what is installed, then the kit
    args: Sequence[str]
    code: int
    after: Dict[str, Optional[str]]  # ProductCode: the package its source list names; None gone
    tools: int = 0
    box: Optional[Tuple[str, str, Sequence[int], str]] = None  # caption, text, buttons, answer
    lines: Sequence[str] = ()  # of setup.exe's log
    msi_lines: Sequence[str] = ()  # of msiexec's, C:\msi.log
    check: Optional[Callable] = None


SAME_VERSION = ("Update", "This version of Quorvane CSP already installed. Reinstall?",
                [IDYES, IDNO])
REINSTALLED = ["REINSTALL = ALL", "REINSTALLMODE = vemus"]
TWO = ["under another ProductCode than " + OLD_CODE,
       f"error: two products: {OLD_CODE} is still installed beside {NEW_CODE}"]

UPDATES = {
    # No box on this path, interactive or not.
    "upgrade-keeps-level-and-language": Case(
        [installed(), kit()], ["-noreboot"], 0, {NEW_CODE: KC3_RUS, OLD_CODE: None}, 1,
        lines=[f"installed product {OLD_CODE}: version 5.0.9", "decision: update",
               "level kc3 kept from the installed product", exit_line(0)]),
    "same-version-beside-a-prerequisite": Case(
        [prerequisite, installed(version="5.0.10", code=NEW_CODE), kit()], ["-silent"], 3,
        {NEW_CODE: KC3_RUS},
        lines=["decision: the same version is installed; nothing to do", exit_line(3)]),
    "code-per-level-reinstalls-its-product": Case(
        [installed(version="5.0.10"), code_per_level], ["-silent", "-noreboot", "-reinstall",
                                                        "-args", MSI_LOG], 0,
        {OLD_CODE: KC3_RUS, NEW_CODE: None}, 1, msi_lines=REINSTALLED),
    # msiexec takes the last interface switch: "/qf" after "/qn" gives the full interface.
    "same-version-reinstall-yes": Case(
        [installed(version="5.0.10", code=NEW_CODE), kit()],
        ["-noreboot", "-args", "/qn " + MSI_LOG], 0, {NEW_CODE: KC3_RUS}, 1,
        box=(*SAME_VERSION, "IDYES"), msi_lines=REINSTALLED),
    "same-version-reinstall-no": Case(
        [installed(version="5.0.10", code=NEW_CODE), kit()],
        ["-noreboot", "-args", "/qn " + MSI_LOG], 0, {NEW_CODE: KC3_RUS}, 1,
        # Declined: the interface -args choose wins over the /qf a declined reinstallation adds.
        box=(*SAME_VERSION, "IDNO"), msi_lines=["UILevel = 2"]),
    "other-level-warns-and-goes-on": Case(
        [installed(), kit()], ["-kc", "kc2", "-noreboot"], 0,
        {NEW_CODE: "qv_x64_kc2_rus.msi", OLD_CODE: None}, 1,
        box=("Warning", "Old and new packages have different KC-level or language parameters. "
                        "Recommend using same parameters.", [IDOK], "IDOK")),
    # msiexec fails after the source list was pointed at the new package and the cached package
    # was patched: the product still names the package it came from, and its repair runs none of
    # the actions meant for its removal.
    "failed-reinstall-leaves-the-product-as-it-was": Case(
        [installed("qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE), kit(fail_when="FAILME")],
        ["-silent", "-reinstall", "-kc", "kc3", "-lang", "rus", "-args", "/qn FAILME=1"], 1603,
        {NEW_CODE: "qv_x64_kc1_eng.msi"},
        lines=[f"source list of {NEW_CODE} back to qv_x64_kc1_eng.msi"],
        check=repairs_without_removal_actions),
    # A version that differs in the fourth field, under another code: the installer's upgrade
    # keeps the old product. A later run reads both, and stops before deciding anything.
    "two-products-are-no-success": Case(
        [installed("qv_x64_kc1_eng.msi", "5.0.10.1"), kit("5.0.10.2")],
        ["-silent", "-kc", "kc2", "-noreboot"], 1638,
        {OLD_CODE: "qv_x64_kc1_eng.msi", NEW_CODE: "qv_x64_kc2_rus.msi"}, lines=TWO,
        check=next_run_stops_before_deciding),
    # A ProductCode per level: -reinstall of the same version at another level would install a
    # second product; it stops before any change.
    "reinstall-beside-the-same-version": Case(
        [installed("qv_x64_kc1_eng.msi", "5.0.10"), kit()],
        ["-silent", "-reinstall", "-kc", "kc2", "-noreboot"], 1638,
        {OLD_CODE: "qv_x64_kc1_eng.msi", NEW_CODE: None},
        lines=[TWO[0], "exit code 1638: nothing changed"]),
    # -repair: the installed product's own package from the kit, its source list pointed there.
    "repair-brings-back-a-deleted-file": Case(
        [kit_installed_from_a_copy, tool_deleted], ["-silent", "-noreboot", "-repair", "-args",
                                                    MSI_LOG], 0, {NEW_CODE: KC3_RUS}, 1,
        lines=[f"decision: repair {NEW_CODE} from C:\\kit\\{KC3_RUS}", exit_line(0)],
        msi_lines=["REINSTALL = ALL", "REINSTALLMODE = omus"], check=repaired_from_the_kit),
    "repair-without-the-installed-version": Case(
        [installed(), kit()], ["-silent", "-noreboot", "-repair"], 1638, {OLD_CODE: KC3_RUS},
        lines=["error: repair: the kit holds no x64 package of version 5.0.9, level kc3, "
               "language rus; nothing done"]),
    "repair-at-another-level": Case(
        [kit_installed_from_a_copy], ["-silent", "-repair", "-kc", "kc1"], 1638,
        {NEW_CODE: KC3_RUS}, lines=["error: repair: level kc1, language none asked for, level "
                                    "kc3, language rus installed; nothing done"]),
    # The new installation fails before anything is removed: the old product stays, patched.
    "cached-package-patched-then-removed": Case(
        [installed(), unpatched, kit(fail_early=True)], ["-silent", "-args", "/qn"], 1603,
        {OLD_CODE: KC3_RUS, NEW_CODE: None}, check=removed_after_the_patch(False)),
    "cached-package-patched-then-upgraded": Case(
        [installed(), unpatched, kit(fail_early=True)], ["-silent", "-args", "/qn"], 1603,
        {OLD_CODE: KC3_RUS, NEW_CODE: None}, check=removed_after_the_patch(True)),
}


def _msi_log(prefix):
    data = (prefix.drive_c / "msi.log").read_bytes()
    return data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1")


@pytest.mark.parametrize("case", UPDATES.values(), ids=UPDATES.keys())
def test_update(prefix, case):
    for step in case.arrange:
        step(prefix)
    if case.box:
        caption, text, buttons, answer = case.box
        run = prefix.start_setup(case.args)
        assert prefix.message_box(caption) == (text, buttons)
        prefix.answer(caption, answer)
        assert run.wait(120) == case.code
    else:
        assert prefix.setup(case.args) == case.code
    for code, package in case.after.items():
        assert prefix.product_state(code) == (-1 if package is None else 5), code
        if package:
            assert prefix.package_name(code) == package, code
    assert prefix.ordo_tool_log() == [TOOL] * case.tools
    log = prefix.setup_log()
    for line in case.lines:
        assert line in log, line
    for line in case.msi_lines:
        assert line in _msi_log(prefix), line
    if case.check:
        case.check(prefix)
