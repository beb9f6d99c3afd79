"""A fresh installation through setup.exe under Wine: the package it picks, msiexec's result,
certificates by kind, the initialisation tool and the pending-restart marker."""
import re

import pytest

from make_kit import CERTIFICATE_FILES, UNCHECKABLE, Package, certificate_stores
from wine import exit_line, strip_log_times

pytestmark = pytest.mark.needs_setup

MARKER = r"HKCU\Software\NeedBstrReboot"
IDYES, IDNO = 6, 7


def _tool(package, prefix):
    return f'"{package.tool_folder(prefix.win64)}ordo_tool.exe" /init'


@pytest.mark.parametrize("prefix, chosen", [
    ("win64-en", "qv_x64_kc1_eng.msi"), ("win64-ru", "qv_x64_kc1_rus.msi"),
    ("win32-en", "qv_win32_kc1_eng.msi"),
], indirect=["prefix"])
def test_language_follows_the_user_interface(prefix, chosen):
    packages = {n: Package(n) for n in
                ["qv_x64_kc1_eng.msi", "qv_x64_kc1_rus.msi", "qv_win32_kc1_eng.msi"]}
    prefix.add_packages(*packages.values())
    assert prefix.setup(["-noreboot"]) == 0  # an argument: no dialog
    # Wine answers IsWow64Process2: 0x14C on 0x8664 in a 64-bit prefix, 0 on 0x14C in a 32-bit one.
    machine = "x64: the x64" if "x64" in chosen else "x86: the win32"
    assert f"machine {machine} packages" in prefix.setup_log()
    code = packages[chosen].product_code
    assert prefix.product_state(code) == 5
    assert prefix.package_name(code) == chosen


def _certificate_lines(log, prints, stores, first):
    """Each certificate of each file has its line: the first copy of an authority is added, every
    later one (and, with first False, every one) is already there; an end entity is refused. A
    root whose algorithm Wine's 32-bit crypt32 cannot check is so warned of, and goes by its key
    identifiers, and the warning says why (no provider for its key, or a provider for the key but
    not for the signature); a look-alike that another ECDSA key signed (0x13D) goes by basic
    constraints."""
    seen = set()
    for name, thumbprints in prints.items():
        for member, thumbprint in zip(CERTIFICATE_FILES[name], thumbprints):
            why = UNCHECKABLE.get(member, "")
            unchecked = (f"warning: certificate {thumbprint} of {name}: {why} (0x80090008); its "
                         "key identifiers decide")
            assert (unchecked in log) == bool(why), unchecked
            store = next(s for s, members in stores.items() if thumbprint in members)
            line = f"certificate {thumbprint} of {name} "
            if store is None:
                line = f"warning: {line}not added: end-entity"
            elif first and thumbprint not in seen:
                line += f"added to {store}"
            else:
                line += f"already in {store}"
            seen.add(thumbprint)
            assert re.search(rf"^{re.escape(line)}$", log, re.M), line


def test_certificates_by_kind_and_tool(prefix, certificates):
    folder, prints = certificates
    prefix.add_certificates(folder)
    package = Package("qv_x64_kc1_eng.msi")
    prefix.add_packages(package)
    stores = certificate_stores(prints)
    ours = set().union(*stores.values())
    assert len(stores["Root"]) == 5 and len(stores["CA"]) == 4 and len(stores[None]) == 1
    assert not ours & (set(prefix.root_certificates()) | set(prefix.ca_certificates()))
    prefix.host(r"C:\setup.log").write_text("an earlier run's log\n")  # -log replaces it
    assert prefix.setup(["-silent", "-root", "-noreboot", "-log", r"C:\setup.log"]) == 0
    # Wine adds the host's authorities on the store's first open: look for ours only.
    root, ca = set(prefix.root_certificates()), set(prefix.ca_certificates())
    assert (root & ours, ca & ours) == (stores["Root"], stores["CA"])
    assert prefix.ordo_tool_log() == [_tool(package, prefix)]
    log = strip_log_times(prefix.host(r"C:\setup.log").read_text("utf-8"))
    assert "an earlier run" not in log
    for line in ["decision: fresh installation", "msiexec ended with 0 after ",
                 "tool ended with 0 after", "certificate file broken.cer: no certificate from byte 0",
                 exit_line(0)]:
        assert line in log, line
    _certificate_lines(log, prints, stores, first=True)
    # msiexec's verbose log lies beside it (Wine's msiexec writes it in the ANSI code page).
    data = prefix.host(r"C:\setup.log.msiexec.log").read_bytes()
    assert "INSTALL. Return value 1." in data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1")

    # Again: everything is there already, and nothing is added twice.
    assert prefix.setup(["-silent", "-root", "-noreboot", "-reinstall"]) == 0
    log = prefix.setup_log()
    assert " added to " not in log
    _certificate_lines(log, prints, stores, first=False)
    assert (set(prefix.root_certificates()), set(prefix.ca_certificates())) == (root, ca)


def test_restart_left_pending_then_taken_up_by_the_next_run(prefix):
    package = Package("qv_x64_kc1_eng.msi")
    prefix.add_packages(package)
    prefix.set_ordo_tool_exit(3010)
    assert prefix.setup(["-silent", "-noreboot", "-kc", "kc1"]) == 3010
    assert prefix.reg_exists(MARKER)
    log = prefix.setup_log()
    assert "restart marker created: the tool asked for a restart" in log
    assert "warning: -noreboot: a restart is due; it is left to whoever started setup.exe" in log

    # The next run that gets through the installer restarts without asking, and says so: 1641.
    prefix.set_ordo_tool_exit(0)
    prefix.trace_restarts()
    assert prefix.setup(["-silent", "-reinstall"]) == 1641
    assert prefix.restart_requested()
    log = prefix.setup_log()
    assert "restart marker found" in log and "restart requested" in log
    assert exit_line(1641) in log
    assert not prefix.reg_exists(MARKER)
    assert len(prefix.ordo_tool_log()) == 2


def test_installer_restart_code_declined(prefix):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", reboot=True))
    run = prefix.start_setup(["-kc", "kc1"])
    text, buttons = prefix.message_box("Warning", 60000)
    assert text == "To complete the installation reboot is required. Reboot now?"
    assert buttons == [IDYES, IDNO]
    prefix.answer("Warning", "IDNO")
    assert run.wait() == 0
    assert not prefix.reg_exists(MARKER)


def test_rejected_package_passes_its_code_through(prefix, certificates):
    folder, prints = certificates
    prefix.add_certificates(folder)
    prefix.add_packages(Package("qv_x64_kc1_eng.msi", fail=True))
    assert prefix.setup(["-silent", "-root", "-args", "/qn"]) == 1603
    assert prefix.ordo_tool_log() == []
    log = prefix.setup_log()
    assert "msiexec ended with 1603 after" in log
    assert re.search(r"^error: msiexec failed \(1603\): \S", log, re.M)
    assert exit_line(1603) in log
    trusted = set(prefix.root_certificates()) | set(prefix.ca_certificates())
    assert not {t for ts in prints.values() for t in ts} & trusted
    assert not prefix.reg_exists(MARKER)
