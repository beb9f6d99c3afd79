"""Updates under Wine: the version decision, keeping the installed level and language, the
warning, and the patch of the installed product's cached package."""
import re
import subprocess

import pytest

import make_kit
from make_kit import Package
from wine import exit_line

pytestmark = pytest.mark.needs_setup

IDOK, IDYES, IDNO = 1, 6, 7
NEW_CODE = "{0A11CE00-0000-4000-8000-000000000510}"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000509}"


def _install_old(prefix, name="qv_x64_kc3_rus.msi", version="5.0.9", code=OLD_CODE, **fields):
    """The product as an earlier kit installed it, from its own folder C:\\old."""
    old = Package(name, version=version, product_code=code, **fields)
    make_kit.build_package(old, prefix.drive_c / "old")
    assert prefix.msiexec("/i", "C:\\old\\" + name, "/qn") == 0
    assert prefix.product_state(code) == 5
    return old


def _new_kit(prefix, version="5.0.10", code=NEW_CODE, **fields):
    names = ["qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_rus.msi",
             "qv_x64_kc3_eng.msi"]
    packages = [Package(n, version=version, product_code=code, **fields) for n in names]
    prefix.add_packages(*packages)
    return packages[0]


def _log(prefix):
    data = (prefix.drive_c / "msi.log").read_bytes()
    return data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1")


def _over(version="5.0.9", code=OLD_CODE, **fields):
    """The new kit over the product an earlier kit installed."""
    def arrange(prefix):
        _install_old(prefix, code=code, version=version, **fields)
        return _new_kit(prefix)
    return arrange


def _prerequisite_first(prefix):
    """Another product's package beside the kit: only packages with a platform token count."""
    prereq = Package("aaa_prereq.msi", version="1.0.0", release_flags=None,
                     upgrade_code="{0A11CE00-1111-4000-8000-0000000000AA}")
    make_kit.build_package(prereq, prefix.drive_c / "old")
    assert prefix.msiexec("/i", r"C:\old\aaa_prereq.msi", "/qn") == 0
    _install_old(prefix, code=NEW_CODE, version="5.0.10")
    prefix.add_packages(prereq)
    _new_kit(prefix)


def _code_per_level(prefix):
    """The package installed is the one whose code decides the reinstallation, the source list
    and the tool, not the platform package that sorts first."""
    _install_old(prefix, code=OLD_CODE, version="5.0.10")  # KC3 Russian
    codes = {"qv_x64_kc1_eng.msi": NEW_CODE, "qv_x64_kc3_rus.msi": OLD_CODE}
    prefix.add_packages(*[Package(n, version="5.0.10", product_code=c) for n, c in codes.items()])


REINSTALL = ["-silent", "-noreboot", "-reinstall", "-args", r"/l*v C:\msi.log"]
REINSTALLED = ["REINSTALL = ALL", "REINSTALLMODE = vemus"]
KEPT = [f"installed product {OLD_CODE}: version 5.0.9", "decision: update",
        "level kc3 kept from the installed product", exit_line(0)]
# (arrange, args, exit code, (code, package) installed after, codes gone, tool runs, lines of
# the setup log, lines of msiexec's log).
RUNS = {
    # No box on this path, interactive or not.
    "upgrade-keeps-level-and-language": (_over(), ["-silent", "-noreboot"], 0,
                                         (NEW_CODE, "qv_x64_kc3_rus.msi"), [OLD_CODE], 1, KEPT,
                                         []),
    "upgrade-interactive": (_over(), ["-noreboot"], 0, (NEW_CODE, "qv_x64_kc3_rus.msi"),
                            [OLD_CODE], 1, KEPT, []),
    # An installed package name without tokens: the cached package's flags and language.
    "detection-from-the-cached-package": (
        _over(name="product.msi", release_flags="x,kc2,", language=1049),
        ["-silent", "-noreboot"], 0, (NEW_CODE, "qv_x64_kc2_rus.msi"), [OLD_CODE], 1, [], []),
    "same-version-silent-does-nothing": (
        _over("5.0.10", NEW_CODE), ["-silent"], 3, (NEW_CODE, "qv_x64_kc3_rus.msi"), [], 0,
        ["decision: the same version is installed; nothing to do", exit_line(3)], []),
    "prerequisite-sorting-first-decides-nothing": (_prerequisite_first, ["-silent"], 3, None, [],
                                                   0, [], []),
    "product-code-per-level-and-language": (_code_per_level, REINSTALL, 0,
                                            (OLD_CODE, "qv_x64_kc3_rus.msi"), [NEW_CODE], 1, [],
                                            REINSTALLED),
    "reinstall-switch-reinstalls-same-product": (_over("5.0.10", NEW_CODE), REINSTALL, 0, None,
                                                 [], 1, [], REINSTALLED),
}


@pytest.mark.parametrize("arrange, args, code, installed, gone, tools, lines, msi_lines",
                         RUNS.values(), ids=RUNS.keys())
def test_update_run(prefix, arrange, args, code, installed, gone, tools, lines, msi_lines):
    new = arrange(prefix)
    assert prefix.setup(args) == code
    if installed:
        assert prefix.package_name(installed[0]) == installed[1]
        assert prefix.product_info(installed[0], "VersionString") == "5.0.10"
    for product in gone:
        assert prefix.product_state(product) == -1, product
    tool = prefix.ordo_tool_log()
    assert len(tool) == tools
    if tools and new:
        assert tool == [f'"{new.tool_folder()}ordo_tool.exe" /init']
    log = prefix.setup_log()
    for line in lines:
        assert line in log, line
    for line in msi_lines:
        assert line in _log(prefix), line


@pytest.mark.parametrize("answer", ["IDYES", "IDNO"])
def test_same_version_question(prefix, answer):
    _install_old(prefix, code=NEW_CODE, version="5.0.10")
    _new_kit(prefix)
    # msiexec takes the last interface switch: "/qf" after "/qn" gives the full interface.
    run = prefix.start_setup(["-noreboot", "-args", r"/qn /l*v C:\msi.log"])
    text, buttons = prefix.message_box("Update")
    assert text == "This version of Quorvane CSP already installed. Reinstall?"
    assert buttons == [IDYES, IDNO]
    prefix.answer("Update", answer)
    assert run.wait(120) == 0
    log = _log(prefix)
    assert ("REINSTALL = ALL" in log) == (answer == "IDYES")
    assert ("UILevel = 5" in log) == (answer == "IDNO")


def test_later_version_installed_is_refused(prefix):
    _install_old(prefix, version="5.0.11")
    _new_kit(prefix)
    run = prefix.start_setup(["-reinstall"])
    assert prefix.message_box("Update") == (
        "A newer version of Quorvane CSP already installed.", [IDOK])
    prefix.answer("Update", "IDOK")
    assert run.wait() == 4
    assert prefix.related_products() == [OLD_CODE]
    assert prefix.ordo_tool_log() == []
    log = prefix.setup_log()
    assert "error: decision: a later version is installed; refused" in log
    assert exit_line(4) in log


def test_same_level_in_other_case_does_not_warn(prefix):
    _install_old(prefix)
    _new_kit(prefix)
    assert prefix.setup(["-kc", "KC3", "-lang", "RUS", "-noreboot"], timeout=120) == 0
    assert prefix.package_name(NEW_CODE) == "qv_x64_kc3_rus.msi"


def test_failed_reinstall_leaves_the_product_as_it_was(prefix):
    """msiexec fails after the source list was pointed at the new package and the cached package
    was patched: the product still names the package it came from, and its repair runs none of
    the actions meant for its removal."""
    _install_old(prefix, name="qv_x64_kc1_eng.msi", version="5.0.10", code=NEW_CODE)
    _new_kit(prefix, fail_when="FAILME")
    args = ["-silent", "-reinstall", "-kc", "kc3", "-lang", "rus", "-args", "/qn FAILME=1"]
    assert prefix.setup(args) == 1603
    assert prefix.package_name(NEW_CODE) == "qv_x64_kc1_eng.msi"
    assert prefix.msiexec("/i", NEW_CODE, "REINSTALL=ALL", "/qn") == 0  # a repair
    assert prefix.ks_log() == []
    assert "source list of " + NEW_CODE + " back to qv_x64_kc1_eng.msi" in prefix.setup_log()


@pytest.mark.parametrize("installed,new,args", [
    # The installer's upgrade compares three fields only.
    (("qv_x64_kc1_eng.msi", "1.0.0.4", OLD_CODE), ("1.0.0.5", NEW_CODE), ["-silent"]),
    # A ProductCode per level: the same version under another code is no upgrade at all.
    (("qv_x64_kc1_eng.msi", "5.0.10", OLD_CODE), ("5.0.10", NEW_CODE),
     ["-silent", "-reinstall", "-kc", "kc2"]),
], ids=["fourth-field-update", "other-level-same-version"])
def test_two_products_are_no_success(prefix, installed, new, args):
    name, version, code = installed
    _install_old(prefix, name=name, version=version, code=code)
    _new_kit(prefix, version=new[0], code=new[1])
    assert prefix.setup(args + ["-noreboot"]) == 1638
    assert sorted(prefix.related_products()) == sorted([OLD_CODE, NEW_CODE])
    log = prefix.setup_log()
    assert f"under another ProductCode than {OLD_CODE}" in log
    assert f"error: two products: {OLD_CODE} is still installed beside {NEW_CODE}" in log
    assert prefix.ordo_tool_log() == []
    # A later run reads both, and stops before deciding anything.
    assert prefix.setup(["-silent", "-noreboot"]) == 1638
    assert re.search(r"^error: two related products are installed: \{[^}]+\} and \{[^}]+\}; "
                     r"remove one", prefix.setup_log(), re.M)


def test_other_level_warns_and_goes_on(prefix):
    _install_old(prefix)
    _new_kit(prefix)
    run = prefix.start_setup(["-kc", "kc2", "-noreboot"])
    assert prefix.message_box("Warning") == (
        "Old and new packages have different KC-level or language parameters. "
        "Recommend using same parameters.", [IDOK])
    prefix.answer("Warning", "IDOK")
    assert run.wait(120) == 0
    assert prefix.package_name(NEW_CODE) == "qv_x64_kc2_rus.msi"


def _sequence(prefix, cached):
    out = subprocess.run(["msiinfo", "export", str(prefix.host(cached)), "InstallExecuteSequence"],
                         capture_output=True, text=True, check=True).stdout
    rows = [line.split("\t") for line in out.splitlines()[3:]]
    return {row[0]: row[1] for row in rows if row[0].startswith("KSProcess")}


@pytest.mark.parametrize("upgrading", [True, False])
def test_cached_package_is_patched_before_the_installer(prefix, upgrading):
    """Wine's own upgrade does not set UPGRADINGPRODUCTCODE for the nested removal, so the patch
    is shown with explicit removals of the old product, with and without it."""
    _install_old(prefix)
    cached = prefix.product_info(OLD_CODE, "LocalPackage")
    assert _sequence(prefix, cached) == {"KSProcess": 'REMOVE="ALL"',
                                         "KSProcess64": 'REMOVE="ALL"'}
    _new_kit(prefix, fail_early=True)  # the new installation fails: the old product stays
    assert prefix.setup(["-silent", "-args", "/qn"]) == 1603
    assert prefix.product_state(OLD_CODE) == 5
    guarded = '(REMOVE="ALL") AND NOT UPGRADINGPRODUCTCODE'
    assert _sequence(prefix, cached) == {"KSProcess": guarded, "KSProcess64": guarded}

    extra = [f"UPGRADINGPRODUCTCODE={NEW_CODE}"] if upgrading else []
    assert prefix.msiexec("/x", OLD_CODE, "/qn", *extra) == 0
    assert prefix.product_state(OLD_CODE) == -1
    ran = [line.split()[0] for line in prefix.ks_log()]
    assert ran == ([] if upgrading else ["KSProcess", "KSProcess64"])
