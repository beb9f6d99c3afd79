"""-whatif and -uninstall under Wine, and the detection script deployment tools run.

-whatif writes its plan to standard output when a script redirects it; under Wine a GUI program
started from cmd already holds cmd's console (AttachConsole answers access denied), so the
console path cannot be proven here, only the redirected one."""
import re
from pathlib import Path

import pytest

import make_kit
from make_kit import Package

pytestmark = pytest.mark.needs_setup

MARKER = r"HKCU\Software\NeedBstrReboot"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000509}"
NEW_CODE = "{0A11CE00-0000-4000-8000-000000000510}"
KC2_CODE = "{0A11CE00-0000-4000-8000-0000000005C2}"
PLAN = r"C:\plan.txt"
DETECT = Path(__file__).resolve().parents[2] / "deploy" / "detect.js"


def _installed(prefix, name, version, code, **fields):
    old = Package(name, version=version, product_code=code, **fields)
    make_kit.build_package(old, prefix.drive_c / "old")
    assert prefix.msiexec("/i", "C:\\old\\" + name, "/qn") == 0
    return old


def _plan(prefix, args):
    code = prefix.setup(["-whatif", *args], output=PLAN)
    return code, prefix.host(PLAN).read_bytes().decode("utf-8")


def test_whatif_on_a_fresh_machine_changes_nothing(prefix, certificates):
    folder, prints = certificates
    prefix.add_certificates(folder)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE))
    prefix.certstore("list")
    before = set(prefix.root_certificates())
    code, plan = _plan(prefix, ["-silent", "-root"])
    assert code == 0
    assert prefix.product_state(NEW_CODE) == -1
    assert set(prefix.root_certificates()) == before
    assert not {t for ts in prints.values() for t in ts} & set(prefix.ca_certificates())
    assert not prefix.reg_exists(MARKER)
    assert prefix.ordo_tool_log() == []
    assert "decision: fresh installation" in plan
    assert re.search(r'^msiexec: "C:\\windows\\system32\\msiexec\.exe" /i '
                     r'"C:\\kit\\qv_x64_kc1_eng\.msi"  REBOOT=R\r$', plan, re.M)
    [root], [intermediate], [leaf] = (prints[n] for n in ("root.cer", "intermediate.crt", "leaf.cer"))
    for line in [f"would add certificate {root} of root.cer to Root",
                 f"would add certificate {intermediate} of intermediate.crt to CA",
                 f"warning: certificate {leaf} of leaf.cer not added: end-entity"]:
        assert line in plan, line
    assert plan.endswith("exit code 0: success; no restart under way\r\n")
    assert "plan: msiexec: " in prefix.setup_log()


def _kit(version="5.0.10", code=NEW_CODE):
    def arrange(prefix):
        prefix.add_packages(Package("qv_x64_kc1_eng.msi", version=version, product_code=code))
    return arrange


def _over(name, version, code, kit):
    def arrange(prefix):
        _installed(prefix, name, version, code)
        kit(prefix)
    return arrange


def _code_per_level(prefix):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE),
                        Package("qv_x64_kc2_rus.msi", version="5.0.10", product_code=KC2_CODE))


def _another_run(prefix):
    """A setup.exe that holds the lock while its box waits: -uninstall, nothing installed."""
    _kit()(prefix)
    holder = prefix.start_setup(["-uninstall"])
    prefix.message_box("Remove", 30000)
    return holder


def _earlier_log(prefix):
    _kit()(prefix)
    prefix.host(SUPPORT_LOG).parent.mkdir()
    prefix.host(SUPPORT_LOG).write_bytes(b"an earlier run\r\n")


def _and(*steps):
    def arrange(prefix):
        for step in steps:
            step(prefix)
    return arrange


SUPPORT_LOG = r"C:\support\qv.log"
SILENT = ["-silent", "-noreboot"]
# (arrange, args, exit code, lines of the plan). Without -silent the real run is started where
# nobody sees a window, as a deployment tool starts it: -whatif answers as that run would.
AGREEING = {
    "same-version": (_over("qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE, _kit()), [], 3, [
        'would ask: "This version of Quorvane CSP already installed. Reinstall?" Yes: reinstall '
        "it; No: msiexec with its own dialogs (/qf); planned as where nobody answers",
        "decision: the same version is installed; nothing to do"]),
    "later-version-installed": (_over("qv_x64_kc1_eng.msi", "5.0.11", OLD_CODE, _kit()), [], 4,
                                ["decision: a later version is installed; refused"]),
    # The installer's upgrade ignores the fourth field: both would stay registered.
    "two-products-would-remain": (
        _over("qv_x64_kc1_eng.msi", "5.0.9.4", OLD_CODE, _kit("5.0.9.5")), SILENT, 1638,
        ["a version that differs in the fourth field only"]),
    "update-with-a-code-per-level": (
        _over("qv_x64_kc2_rus.msi", "5.0.9", OLD_CODE, _code_per_level), SILENT, 0,
        [f"package: C:\\kit\\qv_x64_kc2_rus.msi, ProductCode {KC2_CODE}, version 5.0.10",
         '/i "C:\\kit\\qv_x64_kc2_rus.msi"  REBOOT=R\r\n',
         f"sequence patch: the cached package of {OLD_CODE} skips"]),
    # Another level's product of the same version would stay beside it: stopped before any change.
    "reinstall-at-another-level-with-a-code-per-level": (
        _over("qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE, _code_per_level),
        [*SILENT, "-reinstall", "-kc", "kc2", "-lang", "rus"], 1638,
        ["the package is the same version under another ProductCode"]),
    "another-run-holds-the-lock": (_another_run, SILENT, 1618,
                                   ["would show: Another installation is in progress."]),
    # A restart setup.exe starts itself: 1641, as msiexec says it.
    "restart-started": (_and(_kit(), lambda p: p.wine(["reg", "add", MARKER, "/f"])), ["-silent"],
                        1641, [
        "restart: one that msiexec or the tool asks for is requested at once (-silent): exit "
        "code 1641", "restart: one is pending from an earlier run"]),
    "repair": (_and(_kit(), lambda p: p.msiexec("/i", r"C:\kit\qv_x64_kc1_eng.msi", "/qn")),
               [*SILENT, "-repair"], 0, [
        f"decision: repair {NEW_CODE} from C:\\kit\\qv_x64_kc1_eng.msi",
        '/i "C:\\kit\\qv_x64_kc1_eng.msi" REINSTALL=ALL REINSTALLMODE=omus  REBOOT=R\r\n']),
    # A folder gathers the logs: the plan's goes there, and msiexec's would stay local.
    "log-folder": (_and(_kit(), lambda p: (p.drive_c / "share").mkdir()),
                   [*SILENT, "-log", "C:\\share\\"], 0, [
        "setup log: C:\\share\\QuorvaneSetup_", '/l*v "C:\\users\\']),
    # The plan's log goes beside the earlier one, which stays as it was.
    "log-of-an-earlier-run": (_earlier_log, [*SILENT, "-log", SUPPORT_LOG], 0, [
        "setup log: C:\\support\\QuorvaneSetup_", f'/l*v "{SUPPORT_LOG}.msiexec.log"']),
}


def _machine(prefix):
    log = prefix.host(SUPPORT_LOG)
    return prefix.related_products(), prefix.reg_exists(MARKER), log.exists() and log.read_bytes()


@pytest.mark.parametrize("arrange, args, code, lines", AGREEING.values(), ids=AGREEING.keys())
def test_plan_and_run_agree(prefix, arrange, args, code, lines):
    holder = arrange(prefix)
    before = _machine(prefix)
    plan_code, plan = _plan(prefix, args)
    assert (plan_code, _machine(prefix)) == (code, before), plan
    for line in lines:
        assert line in plan, line
    if "-log" in args:
        assert plan.startswith("setup log: ")
    assert prefix.setup(args, hidden="-silent" not in args) == code
    if holder:
        prefix.answer("Remove", "IDOK")
        assert holder.wait() == 1605


KIT = [("qv_x64_kc1_eng.msi", NEW_CODE), ("qv_x64_kc2_rus.msi", KC2_CODE)]
# (installed (name, version, code, fields), kit, args, exit code, removed, the marker after,
# KSProcess actions run, lines of the log).
REMOVALS = {
    # Its own removal actions run, unpatched; no tool.
    "kit-with-a-code-per-level": (
        ("qv_x64_kc2_rus.msi", "5.0.10", KC2_CODE, {}), KIT, ["-noreboot"], 0, [KC2_CODE],
        False, ["KSProcess", "KSProcess64"], [f"decision: remove {KC2_CODE}"]),
    "nothing-installed": (None, KIT[:1], [], 1605, [], False, [], []),
    "restart-left-to-a-later-run": (
        ("qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE, {"reboot_on_removal": True}), KIT[:1],
        ["-noreboot"], 3010, [NEW_CODE], True, None,
        ["exit code 3010: removed; a restart is due"]),
}


@pytest.mark.parametrize("installed, kit, args, code, removed, marker, actions, lines",
                         REMOVALS.values(), ids=REMOVALS.keys())
def test_uninstall(prefix, installed, kit, args, code, removed, marker, actions, lines):
    if installed:
        name, version, product, fields = installed
        _installed(prefix, name, version, product, **fields)
    prefix.add_packages(*[Package(n, version="5.0.10", product_code=c) for n, c in kit])
    assert prefix.setup(["-silent", "-uninstall", *args]) == code
    for product in removed:
        assert prefix.product_state(product) == -1, product
    assert prefix.reg_exists(MARKER) == marker
    if actions is not None:
        assert [line.split()[0] for line in prefix.ks_log()] == actions
    assert prefix.ordo_tool_log() == []
    for line in lines:
        assert line in prefix.setup_log(), line


@pytest.mark.parametrize("installed, args, found", [
    ([], ["5.0.10"], None),
    ([("qv_x64_kc1_eng.msi", "5.0.9", NEW_CODE)], ["5.0.10"], None),
    ([("qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE)], ["5.0.10.0", "kc1 kc2"], "5.0.10 kc1"),
    ([("qv_x64_kc2_rus.msi", "5.0.11", NEW_CODE)], ["5.0.10"], "5.0.11 kc2"),
    ([("qv_x64_kc3_eng.msi", "5.0.10", NEW_CODE)], ["5.0.10", "kc1 kc2"], None),
    ([("qv_x64_kc1_eng.msi", "5.0.10", OLD_CODE), ("qv_x64_kc2_rus.msi", "5.0.10", KC2_CODE)],
     ["5.0"], None),
], ids=["nothing", "older", "same", "later", "wrong-level", "two-products"])
def test_detection_script(prefix, installed, args, found):
    """detect.js under Wine's cscript, against the same installer object Windows has: exit 0
    always, and a line only when the product is there."""
    for name, version, code in installed:
        _installed(prefix, name, version, code)
    (prefix.drive_c / "detect.js").write_bytes(DETECT.read_bytes())
    result = prefix.wine(["cscript", "//nologo", r"C:\detect.js", make_kit.UPGRADE_CODE, *args])
    code = installed[0][2] if found else None
    assert (result.returncode, result.stdout.decode(errors="replace").strip()) == \
        (0, f"installed {code} {found}" if found else "")
