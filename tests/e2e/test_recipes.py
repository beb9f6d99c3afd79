"""docs/deploying.md's recipes as the tools run them: each setup.exe command line marked `run:`
there, run once per scenario on a window station of its own (as SYSTEM's runs have), its exit
code read through each tool's documented mapping, and the kit's generated detection scripts
before and after; and the settings a release generates, held against the page's lines."""
import base64
import json
import re
import sys

import pytest

import make_kit
import wine
from make_kit import Package

sys.path.insert(0, str(wine.REPO / "scripts"))
import tool_settings  # noqa: E402

pytestmark = pytest.mark.needs_setup

PAGE = wine.REPO / "docs" / "deploying.md"
MARKER = r"HKCU\Software\NeedBstrReboot"
CODE = "{0A11CE00-0000-4000-8000-000000000510}"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000511}"
LEVELS = ["qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_eng.msi"]
# The page's log share, and where a run under Wine reaches it.
SHARE, LOGS = tool_settings.LOG_SHARE, "C:\\logs\\"


def _marked_lines():
    """{(tool, action): (options, line)} from the page: the first line with -silent at or after
    each `run: <tool> <action>` mark; line is the command as written (between backticks, or the
    code line), options setup.exe's part of it from -silent on."""
    lines = PAGE.read_text(encoding="utf-8").splitlines()
    found = {}
    for i, text in enumerate(lines):
        mark = re.search(r"run: (\w+) (install|uninstall|repair|restart)", text)
        if mark:
            command = next(l for l in lines[i:] if re.search(r"[ ']-silent", l))
            quoted = re.search(r"`([^`]*-silent[^`]*)`", command)
            line = quoted.group(1) if quoted else command.strip()
            options = re.search(r"(-silent[^'`|\n]*)", line).group(1).strip()
            found[(mark.group(1), mark.group(2))] = (options, line)
    return found


RECIPES = _marked_lines()

# Each tool's reading of an exit code as the page documents it; any other code is a failure.
INTUNE = {0: "success", 3: "success", 1605: "success", 1707: "success", 3010: "softReboot",
          1641: "hardReboot", 7: "hardReboot", 1618: "retry"}
CONFIGMGR = {0: "Success (no reboot)", 3: "Success (no reboot)", 1605: "Success (no reboot)",
             3010: "Soft Reboot", 1641: "Hard Reboot", 7: "Hard Reboot", 1618: "Fast Retry"}
# PSADT 4 ends as its session's codes say, whatever Start-ADTProcess accepted.
SESSION_SUCCESS, SESSION_REBOOT = (0, 3, 1605), (1641, 3010)


def _psadt4(exit_on_failure):
    """The code the toolkit hands the tool (4.0 with -AllowRebootPassThru), as ConfigMgr reads it:
    without -ExitOnProcessFailure the template's catch ends every other code with 60001."""
    def reading(action, rc):
        passed = (0 if rc in SESSION_SUCCESS else
                  rc if rc in SESSION_REBOOT or exit_on_failure else 60001)
        return CONFIGMGR.get(passed, f"failure ({passed})")
    return reading


def _psadt3(action, rc):
    ignored = 3 if action == "install" else 1605
    return CONFIGMGR.get(0 if rc == ignored else rc, f"failure ({rc})")


def _ansible(action, rc):
    if rc == 1618:
        return "retried (until)"
    ok = {0, 3, 3010} if action == "install" else {0, 1605, 3010}
    return ("failed" if rc not in ok else "ok, reboot" if rc == 3010 else
            "ok, unchanged" if rc in (3, 1605) else "ok")


TOOLS = {
    "intune": lambda action, rc: INTUNE.get(rc, "failed"),
    "configmgr": lambda action, rc: CONFIGMGR.get(rc, "failure"),
    "gpo": lambda action, rc: {0: "done", 3: "done", 3010: "done, the next start restarts",
                               1618: "the next start tries again"}.get(rc, f"exit {rc}"),
    "ansible": _ansible,
    "psadt3": _psadt3,
    "psadt40": _psadt4(False),
    "psadt41": _psadt4(True),
}
# What each reading amounts to; anything else is a failure.
KIND = {"success": "success", "Success (no reboot)": "success", "ok": "success",
        "ok, unchanged": "success", "done": "success", "softReboot": "restart",
        "Soft Reboot": "restart", "ok, reboot": "restart",
        "done, the next start restarts": "restart",
        "hardReboot": "restarting", "Hard Reboot": "restarting", "retry": "retry",
        "Fast Retry": "retry", "retried (until)": "retry", "the next start tries again": "retry"}
# The tools the page says read setup.exe's own restart (1641) as a hard reboot.
HARD_REBOOT_TOOLS = ("intune", "configmgr", "psadt40", "psadt41")


def _installed(prefix, version="5.0.10", code=CODE, name="qv_x64_kc2_rus.msi"):
    make_kit.build_package(Package(name, version=version, product_code=code),
                           prefix.drive_c / "old")
    assert prefix.msiexec("/i", "C:\\old\\" + name, "/qn") == 0


def _later(prefix):
    _installed(prefix, "5.0.11", OLD_CODE)


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


# What a row needs of setup.exe that it may not have yet, and how to tell.
NEEDS = {
    "repair": ("setup.exe's usage does not name -repair yet",
               lambda: "-repair".encode("utf-16-le") in wine.SETUP_EXE.read_bytes()),
    "1641": ("setup.exe does not exit 1641 when it starts the restart yet",
             lambda: "QV_EXIT_CODE(1641," in
             (wine.REPO / "src" / "common" / "ExitCodes.def").read_text()),
}

# scenario: (action, arrange, kit packages' options, exit code, kind, level installed before,
# after, what it needs); a tool that ends otherwise says so beside the kind.
SCENARIOS = {
    "fresh": ("install", None, {}, 0, "success", None, "kc2", None),
    "same-version": ("install", _installed, {}, 3, "success", "kc2", "kc2", None),
    # The test package refuses downgrades (MajorUpgrade): silent runs hand it to msiexec.
    "later-version": ("install", _later, {}, 1603, "failure", "kc2", "kc2", None),
    "restart-from-msiexec": ("install", None, {"reboot": True}, 3010, "restart", None, "kc2",
                             None),
    "restart-from-the-tool": ("install", lambda p: p.set_ordo_tool_exit(3010), {}, 3010,
                              "restart", None, "kc2", None),
    "restart-that-happened": ("install", _stale_marker, {}, 0, "success", None, "kc2", None),
    # PSADT 4.0 has no -ExitOnProcessFailure: its template ends 1618 as 60001, a failure.
    "another-installation": ("install", _busy, {}, 1618, {"*": "retry", "psadt40": "failure"},
                             None, None, None),
    "level-missing": ("install", None, {"levels": LEVELS[::2]}, 2, "failure", None, None, None),
    # A level asked for is never "nothing to do" over the same version at another level.
    "same-version-other-level": ("install", lambda p: _installed(p, name=LEVELS[0]), {}, 1638,
                                 "failure", "kc1", "kc1", None),
    "uninstall-installed": ("uninstall", _installed, {}, 0, "success", "kc2", None, None),
    "uninstall-nothing": ("uninstall", None, {}, 1605, "success", None, None, None),
    "repair-installed": ("repair", _installed, {}, 0, "success", "kc2", "kc2", "repair"),
    "repair-nothing": ("repair", None, {}, 1605, "success", None, None, "repair"),
    "repair-version-missing": ("repair", _later, {}, 1638, "failure", "kc2", "kc2", "repair"),
    "restart-started": ("restart", None, {"reboot": True}, 1641, "restarting", None, "kc2",
                        "1641"),
}


@pytest.fixture(scope="module")
def generated():
    """What tool_settings.py makes of the recipes' kit: {relative path: bytes}."""
    facts = {"UpgradeCode": make_kit.UPGRADE_CODE, "version": "5.0.10",
             "packages": [{"platform": "x64", "level": name.split("_")[2]} for name in LEVELS]}
    return tool_settings.settings(facts, wine.REPO / "deploy")


def _detected(prefix, generated):
    """The levels whose generated detect.js finds the product, every script run by cscript in one
    go; each must exit 0 (Configuration Manager reads anything else as a failed script)."""
    scripts = sorted(name for name in generated if name.endswith("/detect.js"))
    steps = []
    for name in scripts:
        folder = name.split("/")[0]
        target = prefix.host(f"C:\\detect\\{folder}\\detect.js")
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(generated[name])
        target.with_name("out.txt").unlink(missing_ok=True)
        steps.append(f"cscript //nologo C:\\detect\\{folder}\\detect.js > C:\\detect\\{folder}"
                     f"\\out.txt & (if errorlevel 1 echo {folder}>> C:\\detect\\failed.txt)")
    prefix.wine(["cmd", "/c", " & ".join(steps)], timeout=120)
    assert not prefix.host(r"C:\detect\failed.txt").exists()
    return {n.split("/")[0].split("-")[1] for n in scripts
            if prefix.host(f"C:\\detect\\{n.split('/')[0]}\\out.txt").read_text().strip()}


def _rows():
    for scenario, (action, *_) in SCENARIOS.items():
        lines = {}
        for (tool, a), (options, _) in sorted(RECIPES.items()):
            if a == action:
                lines.setdefault(options, tool)
        for options, tool in lines.items():  # named after the first tool that runs it
            yield pytest.param(scenario, options, id=f"{scenario}-{tool}")


def test_every_tool_has_its_lines():
    assert {tool for tool, _ in RECIPES} == {"common", *TOOLS}
    for (tool, action), (options, _) in RECIPES.items():
        assert ("-noreboot" in options) == (action != "restart"), tool
        assert action not in ("install", "restart") or "-kc kc2" in options, tool


@pytest.mark.parametrize("scenario, options", _rows())
def test_recipe(prefix, generated, scenario, options):
    action, arrange, kit, code, kind, before, after, needs = SCENARIOS[scenario]
    if needs and not NEEDS[needs][1]():
        pytest.skip(NEEDS[needs][0])
    prefix.add_packages(*[Package(name, version="5.0.10", product_code=CODE,
                                  reboot=kit.get("reboot", False))
                          for name in kit.get("levels", LEVELS)])
    if arrange:
        arrange(prefix)
    prefix.host(LOGS).mkdir(parents=True, exist_ok=True)

    assert _detected(prefix, generated) == ({before} if before else set())
    assert prefix.setup(options.replace(SHARE, LOGS).split(), 120, hidden=True) == code
    assert _detected(prefix, generated) == ({after} if after else set())
    kinds = kind if isinstance(kind, dict) else {"*": kind}
    tools = HARD_REBOOT_TOOLS if action == "restart" else [t for t in TOOLS
                                                            if (t, action) in RECIPES]
    for tool in tools:
        reading = TOOLS[tool]("install" if action == "restart" else action, code)
        assert KIND.get(reading, "failure") == kinds.get(tool, kinds["*"]), (tool, reading)
    assert prefix.reg_exists(MARKER) == (code == 3010)


# Where each tool's generated command lines stand, as the page writes them.
GENERATED = {"intune": ("intune-win32app.json", '"{action}CommandLine": "{line}",'),
             "configmgr": ("configmgr.txt", "\n{label} program: {line}\n"),
             "psadt40": ("psadt4.ps1", "\n{line}\n"), "psadt41": ("psadt4.ps1", "\n{line}\n")}
LABELS = {"install": "Installation", "uninstall": "Uninstall", "repair": "Repair"}


def test_generated_settings(generated):
    """The release's settings for the recipes' kit: a folder per level, each command line the
    page's, the return codes the page's, and Intune's detection script detect.ps1 itself."""
    folders = {name.split("/")[0] for name in generated}
    assert folders == {"x64-kc1", "x64-kc2", "x64-kc3"}
    assert {name.split("/")[1] for name in generated} == {
        "detect.js", "detect.ps1", "intune-win32app.json", "configmgr.txt", "psadt4.ps1"}
    text = {name: data.decode("utf-8-sig") for name, data in generated.items()}
    for (tool, action), (_, line) in RECIPES.items():
        if tool in GENERATED:
            file, form = GENERATED[tool]
            assert form.format(action=action, label=LABELS[action], line=line) in \
                text[f"x64-kc2/{file}"], (tool, action)

    app = json.loads(text["x64-kc2/intune-win32app.json"])
    assert {c["returnCode"]: c["type"] for c in app["returnCodes"]} == INTUNE
    assert (app["allowedArchitectures"], app["installExperience"]["deviceRestartBehavior"]) == (
        "x64", "basedOnReturnCode")
    (rule,) = app["detectionRules"]
    assert rule["@odata.type"] == "#microsoft.graph.win32LobAppPowerShellScriptDetection"
    assert base64.b64decode(rule["scriptContent"]) == generated["x64-kc2/detect.ps1"]
    assert not rule["enforceSignatureCheck"]
    codes = re.findall(r"^(\d+) +(.+?)( \*)?$", text["x64-kc2/configmgr.txt"], re.M)
    assert {int(rc): kind for rc, kind, _ in codes} == CONFIGMGR
    page = PAGE.read_text(encoding="utf-8")
    for name, values in (("AppSuccessExitCodes", SESSION_SUCCESS),
                         ("AppRebootExitCodes", SESSION_REBOOT)):
        line = f"{name} = @({', '.join(map(str, values))})"
        assert f"    {line}\n" in page and f"\n{line}\n" in text["x64-kc2/psadt4.ps1"]
    # The PowerShell script carries the settings detect.js proves under Wine.
    for setting in (f"$UpgradeCode = '{make_kit.UPGRADE_CODE}'", "$Lowest = '5.0.10'",
                    "$Levels = 'kc2'"):
        assert f"\n{setting}\n" in text["x64-kc2/detect.ps1"]


def test_gpo_script_runs_setup_only_when_needed(prefix, generated):
    """The page's start-up script with the kit on C:: the first start installs, the next one
    finds the product with detect.js and starts no setup.exe."""
    script = re.search(r"## Group Policy.*?```bat\n(.*?)```", PAGE.read_text(encoding="utf-8"),
                       re.S).group(1)
    paths = {"\\\\server\\kits\\quorvane-kc2-detect.js": "C:\\detect.js",
             "\\\\server\\kits\\quorvane\\setup.exe": prefix.win(prefix.kit / "setup.exe"),
             SHARE: LOGS}
    for page_path, path in paths.items():
        assert page_path in script
        script = script.replace(page_path, path)
    prefix.host(r"C:\gpo.cmd").write_text(script.replace("\n", "\r\n"))
    prefix.host(r"C:\detect.js").write_bytes(generated["x64-kc2/detect.js"])
    prefix.host(LOGS).mkdir(parents=True, exist_ok=True)
    prefix.setup_command()  # puts setup.exe into the kit
    prefix.add_packages(*[Package(name, version="5.0.10", product_code=CODE) for name in LEVELS])

    def logs():
        return set(prefix.drive_c.glob("**/QuorvaneSetup_*"))

    assert prefix.run(["cmd", "/c", r"C:\gpo.cmd"], 120, hidden=True) == 0
    first = logs()
    assert (prefix.product_state(CODE), len(first) > 0) == (5, True)
    assert prefix.run(["cmd", "/c", r"C:\gpo.cmd"], 120, hidden=True) == 0
    assert logs() == first
