"""setup.exe as deployment tools start it: on a window station nobody sees, where a box or the
dialog would never return. It asks nothing, takes the answers that change least, gives msiexec no
interface and leaves a due restart to whoever started it. Each run must end by itself."""
import re

import pytest

from make_kit import Package

pytestmark = pytest.mark.needs_setup

MARKER = r"HKCU\Software\NeedBstrReboot"
NEW_CODE = "{0A11CE00-0000-4000-8000-000000000510}"
SECONDS = 60  # a box on that station would keep the run waiting for ever
UNSEEN = "warning: the window station is not visible: setup.exe shows nothing and asks nothing"


def _kit(prefix, version="5.0.10", **fields):
    names = ["qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_eng.msi"]
    prefix.add_packages(*[Package(n, version=version, product_code=NEW_CODE, **fields)
                          for n in names])


def test_double_click_installs_as_silent_would(prefix):
    _kit(prefix)
    assert prefix.setup([], SECONDS, hidden=True) == 0
    assert prefix.package_name(NEW_CODE) == "qv_x64_kc1_eng.msi"
    log = prefix.setup_log()
    assert UNSEEN in log
    assert ("warning: no level chosen and none installed: kc1 taken, the first package found; "
            "-kc chooses the level") in log
    # msiexec gets no interface either: /qn, since the command line chose none.
    assert re.search(r'^msiexec: "[^"]+msiexec\.exe" /i "C:\\kit\\qv_x64_kc1_eng\.msi" /qn ', log,
                     re.M)
    assert len(prefix.ordo_tool_log()) == 1


def test_restart_left_to_whoever_started_it(prefix):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", reboot=True))
    prefix.trace_restarts()
    assert prefix.setup(["-kc", "kc1"], SECONDS, hidden=True) == 3010
    assert prefix.reg_exists(MARKER)
    assert not prefix.restart_requested()
    assert "nobody to ask: it is left to whoever started setup.exe" in prefix.setup_log()


def test_log_held_open_by_a_viewer(prefix):
    """A log viewer keeps the last run's log open without delete sharing: this run's log goes to
    the default place instead, and says why; msiexec's goes beside it."""
    prefix.add_packages(Package("qv_x64_kc1_eng.msi"))
    (prefix.drive_c / "logs").mkdir()
    held = prefix.drive_c / "logs" / "setup.log"
    held.write_text("the last run's log\n")
    viewer = prefix.hold(r"C:\logs\setup.log")
    assert prefix.setup(["-silent", "-noreboot", "-log", r"C:\logs\setup.log"]) == 0
    viewer.kill()
    assert held.read_text() == "the last run's log\n"
    log = prefix.setup_log()
    assert re.search(r"^error: -log C:\\logs\\setup\.log not written; this log instead "
                     r"\(\d+\)", log, re.M)
    assert re.search(r'/l\*v "C:\\users\\[^"]+\\QuorvaneSetup_\d{8}_\d{6}\.log\.msiexec\.log"',
                     log)


def test_logs_gathered_in_a_folder(prefix):
    """-log naming a folder, as one share gathers every machine's runs: each log created new there
    under the computer's name, msiexec's kept in the default place and named by it; a folder that
    takes none sends the log to the default place, and says why."""
    _kit(prefix)
    (prefix.drive_c / "share").mkdir()
    computer = prefix.wine(["cmd", "/c", "echo %COMPUTERNAME%"]).stdout.decode().strip()
    for args in (["-kc", "kc1", "-log", r"C:\share"], ["-reinstall", "-log", "C:\\share\\"]):
        assert prefix.setup(["-noreboot", *args], SECONDS, hidden=True) == 0
    logs = sorted(p.name for p in (prefix.drive_c / "share").iterdir())
    assert len(logs) == 2, logs
    for name in logs:
        assert re.fullmatch(rf"QuorvaneSetup_{re.escape(computer)}_\d{{8}}_\d{{6}}(_1)?\.log", name)
        log = (prefix.drive_c / "share" / name).read_text("utf-8")
        msiexec = re.search(rf'/l\*v "(C:\\users\\[^"\\]+\\Temp\\{re.escape(name)}\.msiexec\.log)"',
                            log)
        assert msiexec and prefix.host(msiexec[1]).stat().st_size > 0, log
    assert prefix.setup(["-noreboot", "-reinstall", "-log", "C:\\gone\\"], SECONDS,
                        hidden=True) == 0
    assert re.search(r"^error: -log C:\\gone\\ not written; this log instead \(3\)",
                     prefix.setup_log(), re.M)
