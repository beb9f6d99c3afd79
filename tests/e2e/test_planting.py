"""Look-alikes of the DLLs and programs setup.exe and Windows use, left where a download would put
them: none may load or run, whichever way the program goes. Every planted DLL name is made
native-first, since by default Wine takes its builtin whatever lies beside the program."""
import shutil

import pytest

import wine
from make_kit import Package, certificate_stores

pytestmark = pytest.mark.needs_setup

DLLS = ["msi.dll", "crypt32.dll", "bcrypt.dll", "version.dll", "cryptbase.dll", "uxtheme.dll",
        "dwmapi.dll", "comctl32.dll"]
PROGRAMS = ["msiexec.exe", "ordo_tool.exe"]
DIALOG = "RADAvovu"
INSTALL = 118


def _plant(prefix, dlls):
    prefix.plant(*dlls, *PROGRAMS)
    # Without a manifest, Windows would take the program's DLLs from here first.
    local = prefix.kit / "setup.exe.local"
    local.mkdir()
    shutil.copy2(wine.KIT_BIN / "plant" / "comctl32.dll", local / "comctl32.dll")
    # What an unquoted C:\Program Files\... command line starts.
    shutil.copy2(wine.KIT_BIN / "plant" / "Program.exe", prefix.host(r"C:\Program.exe"))
    prefix.prefer_native(*dlls)
    prefix.trace_loads()


def _planted_loads(prefix):
    """Modules loaded from the kit folder or C:\\Program.exe, then what the plants logged."""
    kit = prefix.win(prefix.kit).lower() + "\\"
    modules = {path for path, _ in prefix.loaded_modules()}
    assert kit + "setup.exe" in {m.lower() for m in modules}  # the trace was read at all
    hits = sorted(m for m in modules if m.lower().startswith(kit) and
                  m.lower() != kit + "setup.exe" or m.lower() == r"c:\program.exe")
    return hits + prefix.planted_log()


def _usage_box(prefix, certificates):
    run = prefix.start_setup(["-help"])
    prefix.answer("Help", "IDOK")
    assert run.wait() == 0


def _error_box(prefix, certificates):
    run = prefix.start_setup()  # nothing beside it to install
    assert prefix.message_box("Error")[0] == "Can not find ProductCode of msi package."
    prefix.answer("Error", "IDOK")
    assert run.wait() == 2


def _settings_dialog(prefix, certificates):
    package = Package("qv_x64_kc1_eng.msi")
    prefix.add_packages(package)
    run = prefix.start_setup()
    prefix.click(DIALOG, INSTALL)
    assert run.wait(120) == 0
    assert prefix.product_state(package.product_code) == 5


def _silent_install_and_certificates(prefix, certificates):
    folder, prints = certificates
    prefix.add_certificates(folder)
    package = Package("qv_x64_kc1_eng.msi")
    prefix.add_packages(package)
    assert prefix.setup(["-silent", "-noreboot", "-root"]) == 0
    stores = certificate_stores(prints)
    assert stores["Root"] <= set(prefix.root_certificates())
    assert stores["CA"] <= set(prefix.ca_certificates())
    assert prefix.ordo_tool_log() == [f'"{package.tool_folder(prefix.win64)}ordo_tool.exe" /init']


def _restart_question(prefix, certificates):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", reboot=True))
    run = prefix.start_setup(["-kc", "kc1"])
    prefix.answer("Warning", "IDNO", 60000)
    assert run.wait() == 0


@pytest.mark.parametrize("path", [
    *(pytest.param(path, id=path.__name__.strip("_")) for path in (
        _usage_box, _error_box, _settings_dialog, _silent_install_and_certificates,
        _restart_question)),
])
def test_nothing_planted_loads_or_runs(prefix, certificates, path):
    _plant(prefix, DLLS)
    path(prefix, certificates)
    assert _planted_loads(prefix) == []
