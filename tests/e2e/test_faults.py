"""Faults and bad input under Wine, as one table: odd kits, hostile command lines, an installer that
fails or is cancelled, an initialisation tool that is missing, crashes or hangs, a restart marker
that cannot go, broken certificate files. Every case gives its exit code and its box (or none),
does nothing half way and loses nothing that was there before: a failed run installs nothing new,
keeps the installed product, adds no certificate, runs no tool and leaves the marker alone."""
import dataclasses
import hashlib
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Callable, Optional, Sequence, Tuple

import pytest

import make_kit
import wine
from make_kit import Package

pytestmark = pytest.mark.needs_setup

MARKER = r"HKCU\Software\NeedBstrReboot"
JOURNAL = r"HKLM\Software\QuorvaneCspSetup\InProgress"
SHARED_CODE = "{0A11CE00-0000-4000-8000-0000000005AA}"
OLD_CODE = "{0A11CE00-0000-4000-8000-000000000509}"
NEW_CODE = "{0A11CE00-0000-4000-8000-000000000510}"
NO_PRODUCT_CODE = "Can not find ProductCode of msi package."
REBOOT_NOW = "To complete the installation reboot is required. Reboot now?"
ALREADY_RUNNING = "Another installation is in progress. Wait for it to finish and try again."
MSI_LOG = r"C:\msi.log"
TOOL_RUN = 'ordo_tool.exe" /init'
# Wine's MsiOpenPackageEx answer for a file that is no database, and for a folder.
NOT_A_PACKAGE = 1627
# CreateProcess refuses a command line longer than this.
COMMAND_LINE_LIMIT = 32767


class Run:
    """One case in its prefix: the folder setup.exe runs from and what the arrange steps made."""

    def __init__(self, prefix: wine.Prefix, certificates, request):
        self.prefix = prefix
        self.folder = prefix.kit
        self.certificates = certificates
        self.request = request
        self.built = []  # package files of the kit
        self.new: Optional[Package] = None  # the product the run is about
        self.old: Optional[Package] = None  # installed before the run

    @property
    def setup(self) -> Path:
        return self.folder / "setup.exe"

    def log(self) -> str:
        data = self.prefix.host(MSI_LOG).read_bytes()
        return data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1")


Step = Callable[[Run], None]


@dataclasses.dataclass
class Case:
    arrange: Sequence[Step]
    args: Sequence[str]
    code: Tuple[int, ...]  # the exit codes that are right
    box: Optional[Tuple[str, str, str]] = None  # caption, text, answer
    installs: Optional[str] = None  # the package the source list must name; default the new one
    tool: Optional[int] = None  # runs of the init tool; default one on success, else none
    marker: bool = False  # the marker after a successful run
    keeps_old: bool = True  # a failed run leaves the installed product in place
    during: Optional[Callable[[Run, wine.Background], None]] = None
    check: Optional[Step] = None
    kind: str = "win64-en"  # the prefix


# --- arrange steps ----------------------------------------------------------------------------

def kit(*names: str, **fields) -> Step:
    """Packages of one product in the kit folder; the first is the one the run is about."""
    def step(run):
        packages = [Package(n, **fields) for n in names or ["qv_x64_kc1_eng.msi"]]
        run.built += [make_kit.build_package(p, run.folder) for p in packages]
        run.new = packages[0]
    return step


def update_kit(**fields) -> Step:
    """A newer release beside the installed level 3 Russian product."""
    return kit("qv_x64_kc1_eng.msi", "qv_x64_kc3_rus.msi", version="5.0.10",
               product_code=NEW_CODE, **fields)


def installed(run):
    """The product as an earlier kit installed it, from its own folder."""
    run.old = Package("qv_x64_kc3_rus.msi", version="5.0.9", product_code=OLD_CODE)
    make_kit.build_package(run.old, run.prefix.drive_c / "old")
    assert run.prefix.msiexec("/i", r"C:\old\qv_x64_kc3_rus.msi", "/qn") == 0


def folder(path: str) -> Step:
    def step(run):
        run.folder = run.prefix.host("C:\\" + path)
        run.folder.mkdir(parents=True, exist_ok=True)
    return step


def entry(name: str, data: Optional[bytes] = None) -> Step:
    """A file in the kit folder, or a sub-folder when there is no data."""
    def step(run):
        if data is None:
            (run.folder / name).mkdir()
        else:
            (run.folder / name).write_bytes(data)
    return step


def _add_actions(run, actions, cwd=None, imports=()):
    for path in run.built:
        argv = ["msibuild", str(path)] + [a for i in imports for a in ("-i", str(i))]
        for name, kind, source, target, sequence in actions:
            argv += ["-q", "INSERT INTO `CustomAction` (`Action`,`Type`,`Source`,`Target`) "
                           f"VALUES ('{name}', {kind}, '{source}', '{target}')",
                     "-q", "INSERT INTO `InstallExecuteSequence` (`Action`,`Condition`,`Sequence`) "
                           f"VALUES ('{name}', 'NOT REMOVE', {sequence})"]
        subprocess.run(argv, cwd=cwd, check=True, capture_output=True)


def drop_tool(run):
    """After InstallFinalize the installed tool is deleted: its component stays registered."""
    _add_actions(run, [("DropTool", make_kit.CA_EXE_IGNORE, "TARGETDIR",
                        'cmd.exe /c del "[#ordo_tool.exe]"', 6700)])


def user_exit(run):
    """A DLL action before InstallValidate answers "user exit": the installer's cancel."""
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "Binary").mkdir()
        shutil.copy2(wine.KIT_BIN / "user_exit.dll", Path(work) / "Binary" / "UserExit.ibd")
        table = Path(work) / "Binary.idt"
        table.write_text("Name\tData\r\ns72\tv0\r\nBinary\tName\r\nUserExit\tUserExit.ibd\r\n")
        # msibuild reads the stream files relative to its working folder.
        _add_actions(run, [("UserExit", 1, "UserExit", "UserExit", 1390)], work, [table])


def installer_answers(code: int) -> Step:
    """Wine's installer takes no execution lock, so it never answers 1618 itself: the prefix's
    msiexec.exe is replaced by the tool double, which logs its command line and exits with code."""
    def step(run):
        for system in ("system32", "syswow64"):
            msiexec = run.prefix.drive_c / "windows" / system / "msiexec.exe"
            if msiexec.exists():
                msiexec.unlink()  # a hard link into the pristine prefix
                shutil.copy2(wine.KIT_BIN / "ordo_tool.exe", msiexec)
        run.prefix.set_ordo_tool_exit(code)
    return step


def tool(code) -> Step:
    return lambda run: run.prefix.set_ordo_tool_exit(code)


def marker_with_subkey(run):
    run.prefix.wine(["reg", "add", MARKER + r"\Other", "/v", "keep", "/d", "1", "/f"], check=True)


def cached_package_missing(run):
    run.prefix.host(run.prefix.product_info(OLD_CODE, "LocalPackage")).unlink()


def cached_package_read_only(run):
    """Wine running as root writes through a read-only attribute; the immutable flag makes the
    file system refuse the write as Windows refuses it for a read-only file."""
    cached = run.prefix.host(run.prefix.product_info(OLD_CODE, "LocalPackage"))
    if subprocess.run(["chattr", "+i", str(cached)], capture_output=True).returncode != 0:
        pytest.skip("the file system has no immutable flag")
    run.request.addfinalizer(lambda: subprocess.run(["chattr", "-i", str(cached)]))


def no_display(run):
    """Double-clicked where no window can be shown: a service's session, a broken desktop."""
    run.prefix.env.pop("DISPLAY", None)


def first_run(args: Sequence[str], code: int = 0) -> Step:
    def step(run):
        shutil.copy2(wine.SETUP_EXE, run.setup)
        assert run.prefix.run(f'"{run.prefix.win(run.setup)}" '
                              + wine.windows_command_line(args), 120) == code
    return step


def certificate(name: str, make: Callable[[Path, dict], bytes]) -> Step:
    """A broken certificate file named to come before the good ones of its kind."""
    def step(run):
        source, prints = run.certificates
        (run.folder / name).write_bytes(make(source, prints))
    return step


def _truncated(source, prints):
    der = (source / "root.cer").read_bytes()
    return der[: len(der) // 2]


def _broken_member(source, prints):
    """bundle.p7b with the tag of its second certificate's TBSCertificate smashed: the bundle
    still parses, that member does not."""
    data = bytearray((source / "bundle.p7b").read_bytes())
    for at in range(len(data) - 4):
        size = int.from_bytes(data[at + 2:at + 4], "big") + 4
        if data[at:at + 2] == b"\x30\x82" and \
                hashlib.sha1(data[at:at + size]).hexdigest().upper() == prints["bundle.p7b"][1]:
            data[at + 4] = 0x05
            return bytes(data)
    raise AssertionError("member not found in bundle.p7b")


def _huge(source, prints):
    return b"-----BEGIN CERTIFICATE-----\n" + b"QUFB" * (8 << 20) + b"\n"  # 32 MB


# --- checks -----------------------------------------------------------------------------------

def logged(*properties: str) -> Step:
    """Properties as msiexec's log shows them: the arguments arrived whole."""
    def check(run):
        log = run.log()
        for line in properties:
            assert re.search(rf"^Property\(S\): {re.escape(line)}\r?$", log, re.M), line[:60]
    return check


def installer_started_once(run):
    assert run.prefix.ordo_tool_log() == [
        rf'"C:\windows\system32\msiexec.exe" /i "{run.prefix.win(run.folder)}\qv_x64_kc3_rus.msi"'
        "  REBOOT=R"]


def subkey_gone(run):
    assert not run.prefix.reg_exists(MARKER + r"\Other")


def tool_failure_logged(run):
    assert re.search(r"^warning: the tool failed \(0x[0-9A-F]{8}\): ", run.prefix.setup_log(), re.M)


def certificate_lookalikes(run):
    """Certificates under names that only look like certificate files: a disabled one and one
    with a longer extension, each short name ending in .CER or .CRT."""
    with tempfile.TemporaryDirectory() as work:
        for name, subject in (("revoked_root.cer_disabled", "Revoked Root"),
                              ("old.crtx", "Old Root")):
            (run.folder / name).write_bytes(make_kit._make_ca(subject, Path(work)))


def lookalikes_logged(run):
    log = run.prefix.setup_log()
    for name in ("revoked_root.cer_disabled", "old.crtx"):
        assert f"certificate ignored: {name} does not end in .cer, .p7b or .crt" in log


def _wait_for_tool(run):
    deadline = time.monotonic() + 60
    while not run.prefix.ordo_tool_log():
        assert time.monotonic() < deadline, "the tool never started"
        time.sleep(0.2)


def end_hanging_tool(run, setup):
    _wait_for_tool(run)
    with pytest.raises(TimeoutError):  # setup.exe waits for the tool
        setup.wait(2)
    run.prefix.wine(["taskkill", "/f", "/im", "ordo_tool.exe"], check=True)


def second_setup_refused(run, setup):
    _wait_for_tool(run)
    second = run.prefix.start(f'"{run.prefix.win(run.setup)}" -noreboot')
    assert run.prefix.message_box("Error", 30000)[0] == ALREADY_RUNNING
    run.prefix.answer("Error", "IDOK")
    assert second.wait(30) == 1618
    assert setup.running()
    run.prefix.wine(["taskkill", "/f", "/im", "ordo_tool.exe"], check=True)


def held_at(sequence: int) -> Step:
    """An action at `sequence` writes C:\\held.txt, then waits while C:\\hold.txt is there: 1395
    is before InstallInitialize, 6610 after InstallFinalize, when msiexec has committed."""
    def step(run):
        run.prefix.host(r"C:\hold.cmd").write_text(
            "@echo off\r\necho held> C:\\held.txt\r\n:wait\r\n"
            "if not exist C:\\hold.txt exit /b 0\r\nping -n 2 127.0.0.1 >nul\r\ngoto wait\r\n")
        _add_actions(run, [("Hold", make_kit.CA_EXE_IGNORE, "TARGETDIR", r"cmd.exe /c C:\hold.cmd",
                            sequence)])
    return step


def hold(run):
    run.prefix.host(r"C:\held.txt").unlink(missing_ok=True)
    run.prefix.host(r"C:\hold.txt").write_text("hold")


def _wait_held(run):
    deadline = time.monotonic() + 60
    while not run.prefix.host(r"C:\held.txt").exists():
        assert time.monotonic() < deadline, "msiexec never reached the held action"
        time.sleep(0.2)


def end_everything(run, setup):
    """At the kill point every program of the prefix ends (wineserver -k), as at a shutdown."""
    run.prefix.kill()


def end_setup_alone(run, setup):
    """Only setup.exe ends, as a deployment tool's time limit ends it: msiexec goes on."""
    run.prefix.wine(["taskkill", "/f", "/im", "setup.exe"], check=True)
    setup.wait(30)


def long_args(total: int, *more: str) -> list:
    """-args with one property so long that setup.exe's command line from C:\\kit is total
    characters; END=1 after it shows that nothing was cut."""
    args = ["-silent", "-noreboot", *more, "-args", "LONGPROP= END=1"]
    size = total - len(f'"C:\\kit\\setup.exe" {wine.windows_command_line(args)}')
    return args[:-1] + [f"LONGPROP={'x' * size} END=1"]


LONG_ARGS = long_args(32000, "-args", rf"/l*v {MSI_LOG}")
LONG_VALUE = len(LONG_ARGS[-1]) - len("LONGPROP= END=1")
# A package name long enough that msiexec's command line passes the limit that setup.exe's keeps.
LONG_NAME = "qv_x64_kc1_eng_" + "p" * 220 + ".msi"
OVERLONG_ARGS = long_args(COMMAND_LINE_LIMIT - 150)
DEEP = "\\".join(f"{'d' * 60}{i}" for i in range(5))  # past 260 characters

FAULTS = {
    # packages
    "garbage-package": Case(
        [kit(garbage=True)], ["-noreboot"], (NOT_A_PACKAGE,),
        box=("Error", NO_PRODUCT_CODE, "IDOK")),
    "no-product-code": Case(
        [kit(no_product_code=True)], ["-noreboot"], (1620,),
        box=("Error", NO_PRODUCT_CODE, "IDOK")),
    # The installer cannot take a package path that long: refused, nothing installed.
    "kit-folder-past-260-characters": Case(
        [folder(DEEP), kit()], ["-silent", "-noreboot"], (206,)),
    # Identification reads the first package only; the broken ones after it are never opened.
    "many-packages": Case(
        [kit("a_x64_kc1_eng.msi")] + [entry(f"b{i:02}_x64_kc{i % 3 + 1}_eng.msi", b"junk")
                                      for i in range(40)],
        ["-silent", "-noreboot", "-kc", "kc1", "-lang", "eng"], (0,)),

    # command line: every option twice, the last level and language win, -args add up
    "every-option-twice": Case(
        [kit("qv_x64_kc1_eng.msi", "qv_x64_kc3_rus.msi")],
        ["-silent", "/silent", "-root", "/root", "-reinstall", "/reinstall", "-noreboot",
         "/noreboot", "-kc", "kc3", "/kc", "kc1", "-lang", "rus", "/lang", "eng",
         "-args", rf"/l*v {MSI_LOG}", "-args", 'MYPROP="a b" OTHER="it\'s"'],
        (0,), check=logged("MYPROP = a b", "OTHER = it's")),
    "command-line-of-32000": Case(
        [kit()], LONG_ARGS, (0,),
        check=logged(f"LONGPROP = {'x' * LONG_VALUE}", "END = 1", "REBOOT = R")),
    # Wine cuts such a command line at the limit instead of refusing it, dropping REBOOT=R.
    "installer-command-line-past-the-limit": Case(
        [kit(LONG_NAME)], OVERLONG_ARGS, (206,)),
    # installer
    "another-installation-running": Case(
        [installed, update_kit(), installer_answers(1618)], ["-silent", "-root"], (1618,),
        check=installer_started_once),
    "installer-cancelled": Case(
        [installed, update_kit(), user_exit], ["-silent", "-root"], (1602,)),
    # The new package fails after RemoveExistingProducts; Wine does not roll the nested removal
    # back, so the older version is gone where Windows would restore it.
    "installer-fails-midway": Case(
        [installed, update_kit(fail=True)], ["-silent", "-root", "-args", "/qn"], (1603,),
        keeps_old=False),
    "cached-package-missing": Case(
        [installed, cached_package_missing, update_kit()], ["-silent", "-noreboot"], (0,),
        installs="qv_x64_kc3_rus.msi"),
    # The patch cannot write, the installation goes on. Wine's upgrade cannot remove the old
    # product from a write-protected cached package either and leaves it beside the new one:
    # two registered versions are no success.
    "cached-package-read-only": Case(
        [installed, cached_package_read_only, update_kit()], ["-silent", "-noreboot"], (1638,),
        installs="qv_x64_kc3_rus.msi"),

    # The dialog could not be shown: nothing was confirmed, so nothing is installed; the system's
    # error (Wine's for a window without a display) is the exit code.
    "dialog-that-cannot-be-shown": Case([kit(), no_display], [], (1400,)),

    # tool and restart
    "tool-missing": Case([kit(), drop_tool], ["-silent", "-noreboot"], (0,), tool=0),
    "tool-crashes": Case([kit(), tool("crash")], ["-silent", "-noreboot"], (0,),
                         check=tool_failure_logged),
    "tool-hangs-until-ended": Case(
        [kit(), tool("hang")], ["-silent", "-noreboot"], (0,), during=end_hanging_tool),
    # A second setup.exe started while the first waits for the tool: refused at once.
    "second-setup-while-one-runs": Case(
        [kit(), tool("hang")], ["-silent", "-noreboot"], (0,), during=second_setup_refused),
    # A marker with a subkey goes with its subkey: offered once, not again on every run.
    "marker-with-a-subkey": Case(
        [kit(), marker_with_subkey], ["-lang", "eng"], (0,),
        box=("Warning", REBOOT_NOW, "IDNO"), check=subkey_gone),
    # The installer's restart code under -noreboot is taken up by the next run, whose own
    # installation needs none.
    "restart-left-to-the-next-run": Case(
        [kit(reboot=True), first_run(["-silent", "-noreboot"], 3010), kit(version="5.0.10")],
        ["-lang", "eng"], (0,), box=("Warning", REBOOT_NOW, "IDNO")),

    # certificates: the good files are imported whatever lies before them
    "empty-certificate": Case([kit(), entry("0_empty.cer", b"")], ["-silent", "-root"], (0,)),
    "truncated-certificate": Case(
        [kit(), certificate("0_truncated.cer", _truncated)], ["-silent", "-root"], (0,)),
    "bundle-with-a-broken-member": Case(
        [kit(), certificate("0_broken.p7b", _broken_member)], ["-silent", "-root"], (0,)),
    "huge-certificate-file": Case(
        [kit(), certificate("0_huge.crt", _huge)], ["-silent", "-root"], (0,)),
    "certificate-look-alikes": Case(
        [kit(), certificate_lookalikes], ["-silent", "-root"], (0,), check=lookalikes_logged),
}


def _tool_runs(prefix) -> int:
    return sum(line.endswith(TOOL_RUN) for line in prefix.ordo_tool_log())


def _start(run, args) -> Tuple[Optional[wine.Background], int]:
    program = run.prefix.win(run.setup)
    if len(program) < 260:
        return run.prefix.start(f'"{program}" {wine.windows_command_line(args)}'), 0
    # CreateProcess refuses a program path that long; Wine's loader starts it from its host
    # path, and the exit status keeps the low 8 bits of the code.
    return None, run.prefix.wine([str(run.setup), *args], timeout=120).returncode


@pytest.mark.parametrize("case", FAULTS.values(), ids=FAULTS.keys())
def test_fault(make_prefix, certificates, request, case):
    prefix = make_prefix()
    run = Run(prefix, certificates, request)
    for step in case.arrange:
        step(run)
    shutil.copy2(wine.SETUP_EXE, run.setup)
    make_kit.copy_certificates(certificates[0], run.folder)
    stores = make_kit.certificate_stores(certificates[1])
    root = "-root" in case.args
    if root:
        prefix.certstore("list")  # Wine adds the host's authorities on the first open
    before = (set(prefix.root_certificates()), set(prefix.ca_certificates()))
    failing = 0 not in case.code
    if failing and not prefix.reg_exists(MARKER):
        prefix.wine(["reg", "add", MARKER, "/f"], check=True)
    marker_before = prefix.reg_exists(MARKER)
    tool_before = _tool_runs(prefix)

    setup, code = _start(run, case.args)
    if setup:
        if case.during:
            case.during(run, setup)
        if case.box:
            caption, text, answer = case.box
            assert prefix.message_box(caption, 60000)[0] == text
            prefix.answer(caption, answer)
        code = setup.wait(120)
        assert code in case.code
    else:
        assert code in {c & 0xFF for c in case.code}

    succeeded = code == 0
    state = prefix.product_state(run.new.product_code)
    if code == 1638:  # installed beside the old one: nothing after msiexec runs
        assert state == 5 and prefix.product_state(run.old.product_code) == 5
    elif succeeded:
        assert state == 5
        assert prefix.package_name(run.new.product_code) == (case.installs or run.new.file_name)
    else:
        assert state != 5
        if run.old and case.keeps_old:
            assert prefix.product_state(run.old.product_code) == 5
    tool_runs = case.tool if case.tool is not None else int(succeeded)
    assert _tool_runs(prefix) - tool_before == tool_runs
    after = (set(prefix.root_certificates()), set(prefix.ca_certificates()))
    added = (after[0] - before[0], after[1] - before[1])
    if root:
        assert added == ((stores["Root"], stores["CA"]) if succeeded else (set(), set()))
    else:
        assert not set().union(*stores.values()) & (after[0] | after[1])
    assert prefix.reg_exists(MARKER) == (case.marker if succeeded else marker_before)
    if case.check:
        case.check(run)


def _debuggers(prefix: wine.Prefix) -> list:
    """Wine's debugger processes of this prefix."""
    found = []
    for pid in wine._processes_with_env(f"WINEPREFIX={prefix.path}"):
        try:
            if b"winedbg" in Path(f"/proc/{pid}/cmdline").read_bytes():
                found.append(pid)
        except OSError:
            pass
    return found


def test_unhandled_exception_ends_the_run(make_prefix):
    """A thread started at address 0 inside the release's setup.exe while its box waits: the run
    ends at once with the exception's code and one log line naming it, and leaves no box and no
    debugger. The prefix's own debugger settings (AeDebug "no_debugger", no crash dialog) are
    removed first, so that it is the guard that ends the run, not those settings."""
    prefix = make_prefix()
    for key, value in ((r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug", "Debugger"),
                       (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog")):
        prefix.wine(["reg", "delete", key, "/v", value, "/f"], check=True)
    run = prefix.start_setup(["-help"])
    assert prefix.wait_window("Help")
    faulted = prefix.ui("fault", "Help")
    assert faulted.returncode == 0, faulted.stdout
    start = time.monotonic()
    assert run.wait(timeout=30) == 0xC0000005
    assert time.monotonic() - start < 5  # a second, and Wine's process start and end around it
    lines = prefix.setup_log().splitlines()
    assert lines[-1] == "error: internal fault 0xC0000005 at 0x00000000", lines[-3:]
    assert "usage asked for" in lines
    assert "Help" not in prefix.ui("list").stdout.decode(errors="replace")
    assert not _debuggers(prefix)


# --- runs ended from outside, and the next run --------------------------------------------------

def _cached_level(prefix, code: str) -> str:
    """The level the product's cached package names in its ISReleaseFlags."""
    cached = prefix.host(prefix.product_info(code, "LocalPackage"))
    table = subprocess.run(["msiinfo", "export", str(cached), "Property"], capture_output=True,
                           text=True, check=True).stdout
    return re.search(r"^ISReleaseFlags\t(kc\d),", table, re.M).group(1)


def _whatif_waits_for_msiexec(run, args, code):
    """-whatif waits for the msiexec left running, as the run would; it ends once released."""
    plan = run.prefix.start(run.prefix.setup_command(["-whatif", *args]))
    time.sleep(3)
    assert plan.running(), "-whatif did not wait for msiexec"
    run.prefix.host(r"C:\hold.txt").unlink()
    assert plan.wait(120) == code


@dataclasses.dataclass
class KillPoint:
    arrange: Sequence[Step]
    args: Sequence[str]  # the run ended
    wait: Optional[Step]  # the kill point; None: the run ends by itself with `first`
    end: Callable[[Run, wine.Background], None]
    then: Sequence[str]  # the next run, and -whatif before it
    code: int  # the next run's exit code, and -whatif's
    installed: Tuple[str, str]  # product code and its package (the source list) after it
    level: str  # its cached package's level
    tools: int  # tool runs of the next run
    roots: bool = False  # the kit's roots are in Root after it
    first: Optional[int] = None  # the exit code of a run that ends by itself


SILENT = ["-silent", "-noreboot"]
KC1 = ("qv_x64_kc1_eng.msi", "qv_x64_kc2_eng.msi")
SHARED_KIT = kit(*KC1, product_code=SHARED_CODE)
KILL_POINTS = {
    # Before msiexec committed: undone, the source list back on KC1; KC1 is the same version.
    # Wine's installer has cached the KC2 package already, and rolls nothing back.
    "reinstall-ended-before-commit": KillPoint(
        [SHARED_KIT, held_at(1395), first_run([*SILENT, "-kc", "kc1"]), hold],
        [*SILENT, "-reinstall", "-kc", "kc2"], _wait_held, end_everything,
        [*SILENT, "-kc", "kc1"], 3, (SHARED_CODE, KC1[0]), "kc2", 0),
    # The tool again; never "nothing to do" (3) for a run that finishes what was left.
    "ended-during-the-tool": KillPoint(
        [kit(product_code=SHARED_CODE), tool("hang")], SILENT, _wait_for_tool, end_everything,
        SILENT, 0, (SHARED_CODE, KC1[0]), "kc1", 1),
    # After commit, msiexec finishing alone: -whatif and the run wait for it, then go forward.
    "reinstall-committed-setup-ended-alone": KillPoint(
        [SHARED_KIT, held_at(6610), first_run([*SILENT, "-kc", "kc1"]), hold],
        [*SILENT, "-reinstall", "-kc", "kc2"], _wait_held, end_setup_alone,
        [*SILENT, "-kc", "kc2"], 0, (SHARED_CODE, KC1[1]), "kc2", 1),
    "reinstall-committed-everything-ended": KillPoint(
        [SHARED_KIT, held_at(6610), first_run([*SILENT, "-kc", "kc1"]), hold],
        [*SILENT, "-reinstall", "-kc", "kc2"], _wait_held, end_everything,
        [*SILENT, "-kc", "kc2"], 0, (SHARED_CODE, KC1[1]), "kc2", 1),
    "update-committed-setup-ended-alone": KillPoint(
        [installed, update_kit(), held_at(6610), hold], SILENT, _wait_held, end_setup_alone,
        SILENT, 0, (NEW_CODE, "qv_x64_kc3_rus.msi"), "kc3", 1),
    # The certificates of the run ended are added, though the next run has no -root.
    "update-committed-certificates-and-tool-left": KillPoint(
        [installed, update_kit(), held_at(6610), hold], [*SILENT, "-root"], _wait_held,
        end_everything, SILENT, 0, (NEW_CODE, "qv_x64_kc3_rus.msi"), "kc3", 1, roots=True),
    # Past -tooltimeout: 1460 and the record kept, twice; the third run, the tool mended, is 0.
    "tool-hangs-twice": KillPoint(
        [kit(), tool("hang"), first_run([*SILENT, "-tooltimeout", "3"], 1460)],
        [*SILENT, "-tooltimeout", "3"], None, None, SILENT, 0,
        (make_kit.Package("qv_x64_kc1_eng.msi").product_code, KC1[0]), "kc1", 1, first=1460),
}


@pytest.mark.parametrize("case", KILL_POINTS.values(), ids=KILL_POINTS.keys())
def test_kill_point(prefix, certificates, request, case):
    """A run ended from outside leaves its record; the next run, and -whatif before it, finish
    it forward once msiexec has committed, or undo it before. The product then repairs."""
    run = Run(prefix, certificates, request)
    for step in case.arrange:
        step(run)
    shutil.copy2(wine.SETUP_EXE, run.setup)
    make_kit.copy_certificates(certificates[0], run.folder)
    prefix.certstore("list")  # Wine adds the host's authorities on the first open
    setup = prefix.start_setup(case.args)
    if case.wait is None:
        assert setup.wait(120) == case.first
    else:
        case.wait(run)
        case.end(run, setup)
    assert prefix.reg_exists(JOURNAL)
    tools = _tool_runs(prefix)
    prefix.set_ordo_tool_exit(0)
    if prefix.host(r"C:\hold.txt").exists():
        if case.end is end_setup_alone:
            _whatif_waits_for_msiexec(run, case.then, case.code)
        else:
            prefix.host(r"C:\hold.txt").unlink()
    plan = prefix.setup(["-whatif", *case.then])
    assert (plan, _tool_runs(prefix), prefix.reg_exists(JOURNAL)) == (case.code, tools, True)

    assert prefix.setup(case.then) == case.code
    code, name = case.installed
    roots = set(make_kit.certificate_stores(certificates[1])["Root"])
    assert (prefix.related_products(), prefix.package_name(code), _cached_level(prefix, code),
            _tool_runs(prefix) - tools, roots <= set(prefix.root_certificates()),
            prefix.reg_exists(JOURNAL)) == ([code], name, case.level, case.tools, case.roots,
                                            False)
    assert prefix.msiexec("/i", code, "REINSTALL=ALL", "/qn") == 0
