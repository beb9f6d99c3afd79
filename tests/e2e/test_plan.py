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
    for line in [f"certificate {root} of root.cer to Root",
                 f"certificate {intermediate} of intermediate.crt to CA",
                 f"warning: certificate {leaf} of leaf.cer not added: end-entity"]:
        assert line in plan, line
    assert plan.endswith("exit code 0: success\r\n")
    assert "plan: msiexec: " in prefix.setup_log()


def test_whatif_over_the_same_version(prefix):
    _installed(prefix, "qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE))
    code, plan = _plan(prefix, [])
    assert code == 3  # as -silent would end
    # The real run would ask; the plan names the question and both answers.
    assert re.search(r'^would ask: "This version of Quorvane CSP already installed\. Reinstall\?" '
                     r"Yes: reinstall it, as below; No: msiexec with its own dialogs", plan, re.M)


def test_whatif_of_an_update_with_a_code_per_level(prefix):
    _installed(prefix, "qv_x64_kc2_rus.msi", "5.0.9", OLD_CODE)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE),
                        Package("qv_x64_kc2_rus.msi", version="5.0.10", product_code=KC2_CODE))
    code, plan = _plan(prefix, ["-silent", "-noreboot"])
    assert code == 0
    assert f"package: C:\\kit\\qv_x64_kc2_rus.msi, ProductCode {KC2_CODE}, version 5.0.10" in plan
    assert re.search(r'^msiexec: "[^"]+" /i "C:\\kit\\qv_x64_kc2_rus\.msi"  REBOOT=R\r$', plan,
                     re.M)
    assert f"sequence patch: the cached package of {OLD_CODE} skips" in plan
    assert prefix.product_state(OLD_CODE) == 5 and prefix.product_state(KC2_CODE) == -1


def test_uninstall_of_a_kit_with_a_code_per_level(prefix):
    _installed(prefix, "qv_x64_kc2_rus.msi", "5.0.10", KC2_CODE)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE),
                        Package("qv_x64_kc2_rus.msi", version="5.0.10", product_code=KC2_CODE))
    assert prefix.setup(["-silent", "-uninstall", "-noreboot"]) == 0
    assert prefix.product_state(KC2_CODE) == -1
    # Its own removal actions ran, unpatched.
    assert [line.split()[0] for line in prefix.ks_log()] == ["KSProcess", "KSProcess64"]
    assert prefix.ordo_tool_log() == []
    assert f"decision: remove {KC2_CODE}" in prefix.setup_log()


def test_uninstall_with_nothing_installed(prefix):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE))
    assert prefix.setup(["-silent", "-uninstall"]) == 1605


def test_uninstall_restart_left_to_a_later_run(prefix):
    _installed(prefix, "qv_x64_kc1_eng.msi", "5.0.10", NEW_CODE, reboot_on_removal=True)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=NEW_CODE))
    assert prefix.setup(["-silent", "-uninstall", "-noreboot"]) == 3010
    assert prefix.product_state(NEW_CODE) == -1
    assert prefix.reg_exists(MARKER)


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
