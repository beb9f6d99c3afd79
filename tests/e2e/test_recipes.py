"""docs/deploying.md's recipes as the tools run them: each setup.exe command line marked `run:`
there, run once per scenario on a window station of its own (as SYSTEM's runs have), its exit
code read through each tool's documented mapping, and the detection script before and after."""
import re
from pathlib import Path

import pytest

import make_kit
import wine
from make_kit import Package

pytestmark = pytest.mark.needs_setup

REPO = Path(__file__).resolve().parents[2]
PAGE = REPO / "docs" / "deploying.md"
DETECT = REPO / "deploy" / "detect.js"
MARKER = r"HKCU\Software\NeedBstrReboot"
CODE = "{0A11CE00-0000-4000-8000-000000000510}"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000511}"
LEVELS = ["qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_eng.msi"]


def _marked_lines():
    """{(tool, action): setup.exe's options} from the page: the first line with -silent at or
    after each `run: <tool> <action>` mark, from -silent to the end of the options."""
    lines = PAGE.read_text(encoding="utf-8").splitlines()
    found = {}
    for i, line in enumerate(lines):
        mark = re.search(r"run: (\w+) (install|uninstall)", line)
        if mark:
            command = next(l for l in lines[i:] if re.search(r"[ ']-silent", l))
            options = re.search(r"[ '](-silent[^'`|\n]*)", command).group(1)
            found[(mark.group(1), mark.group(2))] = options.strip()
    return found


RECIPES = _marked_lines()

# Each tool's documented reading of an exit code (the page's return codes), as data.
INTUNE = {0: "success", 1707: "success", 3: "success", 1605: "success", 3010: "soft reboot",
          1641: "hard reboot", 7: "hard reboot", 1618: "retry"}
CONFIGMGR = {**INTUNE, 1618: "fast retry"}


def _ansible(action, rc):
    if rc == 1618:
        return "retried (until)"
    ok = {0, 3, 3010} if action == "install" else {0, 1605, 3010}
    return ("ok, reboot" if rc == 3010 else "ok") if rc in ok else "failed"


def _psadt(version, action, rc):
    success = {0, 3} if action == "install" else {0, 1605}
    if rc in success:
        return "success"
    if rc in (1641, 3010):
        return ("3010 with -AllowRebootPassThru, else 0" if version == 3
                else "3010 unless -SuppressRebootPassThru")
    return "1618 passed on to the tool" if rc == 1618 else f"failed ({rc})"


TOOLS = {
    "intune": lambda action, rc: INTUNE.get(rc, "failed"),
    "configmgr": lambda action, rc: CONFIGMGR.get(rc, "failure"),
    "gpo": lambda action, rc: {0: "done", 3: "done", 3010: "done, the next start restarts",
                               1618: "the next start tries again"}.get(rc, f"exit {rc}"),
    "ansible": _ansible,
    "psadt3": lambda action, rc: _psadt(3, action, rc),
    "psadt4": lambda action, rc: _psadt(4, action, rc),
}
# What each reading amounts to.
KIND = {"success": "success", "ok": "success", "done": "success", "soft reboot": "restart",
        "done, the next start restarts": "restart", "the next start tries again": "retry",
        "1618 passed on to the tool": "retry",
        "ok, reboot": "restart", "retry": "retry", "fast retry": "retry",
        "retried (until)": "retry", "3010 with -AllowRebootPassThru, else 0": "restart",
        "3010 unless -SuppressRebootPassThru": "restart"}


def _installed(prefix, version="5.0.10", code=CODE, name="qv_x64_kc2_rus.msi"):
    make_kit.build_package(Package(name, version=version, product_code=code),
                           prefix.drive_c / "old")
    assert prefix.msiexec("/i", "C:\\old\\" + name, "/qn") == 0


def _busy(prefix):
    """Wine's msiexec takes no execution lock: the tool double stands in and answers 1618."""
    for system in ("system32", "syswow64"):
        msiexec = prefix.drive_c / "windows" / system / "msiexec.exe"
        if msiexec.exists():
            msiexec.unlink()  # a hard link into the pristine prefix
            msiexec.write_bytes((wine.KIT_BIN / "ordo_tool.exe").read_bytes())
    prefix.set_ordo_tool_exit(1618)


def _stale_marker(prefix):
    """A marker written in 1601: Windows has started since, so the restart happened."""
    prefix.wine(["reg", "add", MARKER, "/v", "Written", "/t", "REG_QWORD", "/d", "1", "/f"],
                check=True)


# scenario: (arrange, kit packages' options, exit code, kind, detected before, after)
SCENARIOS = {
    "fresh": (None, {}, 0, "success", False, True),
    "same-version": (_installed, {}, 3, "success", True, True),
    # The test package refuses downgrades (MajorUpgrade): silent runs hand it to msiexec.
    "later-version": (lambda p: _installed(p, "5.0.11", OLD_CODE), {}, 1603, "failure", True,
                      True),
    "restart-from-msiexec": (None, {"reboot": True}, 3010, "restart", False, True),
    "restart-from-the-tool": (lambda p: p.set_ordo_tool_exit(3010), {}, 3010, "restart", False,
                              True),
    "restart-that-happened": (_stale_marker, {}, 0, "success", False, True),
    "another-installation": (_busy, {}, 1618, "retry", False, False),
    "level-missing": (None, {"levels": LEVELS[::2]}, 2, "failure", False, False),
    # A level asked for is never "nothing to do" over the same version at another level.
    "same-version-other-level": (lambda p: _installed(p, name=LEVELS[0]), {}, 1638, "failure",
                                 False, False),
    "uninstall-installed": (_installed, {}, 0, "success", True, False),
    "uninstall-nothing": (None, {}, 1605, "success", False, False),
}


def _rows():
    for scenario in SCENARIOS:
        action = "uninstall" if scenario.startswith("uninstall") else "install"
        lines = {}
        for (tool, a), options in sorted(RECIPES.items()):
            if a == action:
                lines.setdefault(options, tool)
        for options, tool in lines.items():  # named after the first tool that runs it
            yield pytest.param(scenario, action, options, id=f"{scenario}-{tool}")


def test_every_tool_has_its_lines():
    assert {tool for tool, _ in RECIPES} == {"common", *TOOLS}
    for (tool, action), options in RECIPES.items():
        assert "-noreboot" in options, tool
        assert action == "uninstall" or "-kc kc2" in options, tool


@pytest.mark.parametrize("scenario, action, options", _rows())
def test_recipe(prefix, scenario, action, options):
    arrange, kit, code, kind, before, after = SCENARIOS[scenario]
    prefix.add_packages(*[Package(name, version="5.0.10", product_code=CODE,
                                  reboot=kit.get("reboot", False))
                          for name in kit.get("levels", LEVELS)])
    if arrange:
        arrange(prefix)
    for folder in (r"C:\Windows\Logs", r"C:\Windows\Logs\Software"):
        prefix.host(folder).mkdir(parents=True, exist_ok=True)
    (prefix.drive_c / "detect.js").write_bytes(DETECT.read_bytes())

    def detected():
        result = prefix.wine(["cscript", "//nologo", r"C:\detect.js", make_kit.UPGRADE_CODE,
                              "5.0.10", "kc2"])
        assert result.returncode == 0  # Configuration Manager reads anything else as failed
        return bool(result.stdout.strip())

    assert detected() == before
    assert prefix.setup(options.split(), 120, hidden=True) == code
    assert detected() == after
    for tool, reading in TOOLS.items():
        if (tool, action) in RECIPES:
            assert KIND.get(reading(action, code), "failure") == kind, tool
    if code == 3010:
        assert prefix.reg_exists(MARKER)
    if scenario == "restart-that-happened":
        assert not prefix.reg_exists(MARKER)
        given = re.search(r"-log (\S+)", options)
        log = (wine.strip_log_times(prefix.host(given.group(1)).read_text("utf-8")) if given
               else prefix.setup_log())
        assert "restart marker written before Windows last started" in log
