"""Wine prefixes for the end-to-end tests: pristine ones built once and cached, cheap hard-linked
copies per test, and the helpers that run programs inside a copy and read what they left."""
import fcntl
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from typing import Dict, List, NamedTuple, Optional, Sequence, Tuple, Union

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "kit"))
sys.path.insert(0, str(REPO / "scripts"))
import exit_codes  # noqa: E402
import make_kit  # noqa: E402

BUILD = REPO / "build"
KIT_BIN = make_kit.KIT_BIN
SETUP_EXE = make_kit.SETUP_EXE
E2E = BUILD / "e2e"
PREFIXES = E2E / "prefixes"
RUNS = E2E / "run"  # beside the cache: hard links need the same file system

KINDS = {
    "win64-en": {"WINEARCH": "win64", "LANG": "en_US.UTF-8"},
    "win64-ru": {"WINEARCH": "win64", "LANG": "ru_RU.UTF-8"},
    "win32-en": {"WINEARCH": "win32", "LANG": "en_US.UTF-8"},
}

# Windows 10, as the product targets (Wine 8 has no Windows 11). A crash must end the program,
# not park it in a debugger or a crash dialog; a virtual desktop gives windows their captions and
# frames without an X window manager, so screenshots read well.
TWEAKS = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine]
"Version"="win10"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="no_debugger"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
"""

# Files Wine rewrites in place; everything else it writes is a new file, so hard links are safe.
COPIED = ("system.reg", "user.reg", "userdef.reg")

BASE_ENV = {
    "WINEDEBUG": "-all",
    # No Mono or Gecko: their install prompts would block a run.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}

TOOLS_DIR = "tools"  # C:\tools\ holds the test helpers
KIT_DIR = "kit"  # C:\kit\ holds the kit and setup.exe


def session_runs() -> Path:
    """This test run's folder for prefix copies; those of ended runs go."""
    RUNS.mkdir(parents=True, exist_ok=True)
    for old in RUNS.iterdir():
        if old.name.isdigit() and not Path(f"/proc/{old.name}").exists():
            shutil.rmtree(old, ignore_errors=True)
    mine = RUNS / str(os.getpid())
    mine.mkdir(exist_ok=True)
    return mine


class WineError(RuntimeError):
    pass


class RegKey(NamedTuple):
    values: Dict[str, Tuple[str, str]]  # name ("(Default)" for the default) -> (type, data)
    subkeys: List[str]


def run(argv: Sequence[str], env: Dict[str, str], timeout: float = 60,
        cwd: Optional[Path] = None) -> subprocess.CompletedProcess:
    """Runs a host command with its output in files, not pipes: the Wine processes a program
    starts (services, the desktop) inherit its handles and would hold a pipe open for seconds
    after the program itself has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(argv, code, out.read(), err.read())


def _stamp() -> str:
    """Changes with Wine or the recipe. A prefix older than wine.inf would be updated in place
    by its first process, writing through the hard links into the pristine files."""
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout
    inf = Path("/usr/share/wine/wine.inf")
    inf_time = str(inf.stat().st_mtime) if inf.exists() else ""
    return hashlib.sha1((version + inf_time + TWEAKS + json.dumps(KINDS)).encode()).hexdigest()


def start_display() -> Tuple[subprocess.Popen, str]:
    """An Xvfb on a display number it picks itself: (process, ":N")."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=(write,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    if not number:
        xvfb.kill()
        raise WineError("Xvfb did not start")
    return xvfb, f":{number}"


def build_sealed_setup(folder: Path, work: Path) -> Path:
    """A setup.exe sealed for the kit in folder, built in work: configured once, then another
    seal rebuilds only the resources and the link."""
    work.mkdir(parents=True, exist_ok=True)
    seal_file = work / "seal.txt"
    text = make_kit.seal(folder)
    # Rewritten only when it changes: its time stamp is what triggers the rebuild.
    if not seal_file.exists() or seal_file.read_text(encoding="utf-8") != text:
        seal_file.write_text(text, encoding="utf-8")
    steps = [["cmake", "--build", str(work), "--target", "setup"]]
    if not (work / "CMakeCache.txt").exists():
        steps.insert(0, ["cmake", "-S", str(REPO), "-B", str(work),
                         "-DCMAKE_TOOLCHAIN_FILE=" + str(REPO / "cmake" / "i686-w64-mingw32.cmake"),
                         "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DQV_SEAL=" + str(seal_file)])
    for step in steps:
        result = subprocess.run(step, capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"{' '.join(step)} failed:\n{result.stdout[-3000:]}"
                               f"{result.stderr[-3000:]}")
    return work / "setup.exe"


class PrefixCache:
    """Pristine prefixes under build/e2e/prefixes/<kind>, rebuilt when missing or stale."""

    def __init__(self, root: Path = PREFIXES):
        self.root = root
        self.stamp = _stamp()
        self.timings: Dict[str, float] = {}
        self._lock = threading.Lock()
        self.root.mkdir(parents=True, exist_ok=True)

    def path(self, kind: str) -> Path:
        return self.root / kind

    def _fresh(self, kind: str) -> bool:
        stamp = self.path(kind) / ".kit-stamp"
        return stamp.exists() and stamp.read_text() == self.stamp

    def pristine(self, kind: str) -> Path:
        if kind not in KINDS:
            raise ValueError(f"unknown prefix kind {kind}")
        with self._lock, open(self.root / ".lock", "w") as lock:
            # Another test run in the same tree may be building them right now.
            fcntl.flock(lock, fcntl.LOCK_EX)
            stale = [k for k in KINDS if not self._fresh(k)]
            if kind in stale:
                # All at once: wineboot mostly waits, so three in parallel cost about one.
                with ThreadPoolExecutor(len(stale)) as pool:
                    list(pool.map(self._build, stale))
        return self.path(kind)

    def _build(self, kind: str) -> None:
        start = time.monotonic()
        final = self.path(kind)
        work = final.with_name(kind + ".building")
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(final, ignore_errors=True)
        work.parent.mkdir(parents=True, exist_ok=True)
        env = {**_host_env(), **BASE_ENV, **KINDS[kind], "WINEPREFIX": str(work)}
        _checked(["wine", "wineboot", "-i"], env, 300)
        tweaks = work / "drive_c" / "tweaks.reg"
        tweaks.write_text(TWEAKS.replace("\n", "\r\n"), encoding="utf-16")
        # `wine` starts the 32-bit tools, which see the 32-bit registry view; write both views.
        for view in ("/reg:32", "/reg:64"):
            _checked(["wine", "reg", "import", r"C:\tweaks.reg", view], env, 60)
        tweaks.unlink()
        _checked(["wineserver", "-k"], env, 60, ok=(0, 1))
        _checked(["wineserver", "-w"], env, 60, ok=(0, 1))
        (work / ".kit-stamp").write_text(self.stamp)
        work.rename(final)
        self.timings[kind] = time.monotonic() - start

    def modified_since_built(self, kind: str) -> List[str]:
        """Files of a pristine prefix changed after it was built: a copy wrote through a link."""
        root = self.path(kind)
        stamp = root / ".kit-stamp"
        if not stamp.exists():
            return []
        built = stamp.stat().st_mtime
        return [str(p.relative_to(root)) for p in root.rglob("*")
                if p.is_file() and not p.is_symlink() and p.stat().st_mtime > built]


def _host_env() -> Dict[str, str]:
    keep = ("PATH", "HOME", "USER", "TMPDIR", "XDG_RUNTIME_DIR")
    return {k: os.environ[k] for k in keep if k in os.environ}


def _checked(argv, env, timeout, ok=(0,)) -> subprocess.CompletedProcess:
    result = run(argv, env, timeout)
    if result.returncode not in ok:
        raise WineError(f"{' '.join(argv)} failed ({result.returncode}): "
                        f"{result.stderr.decode(errors='replace')[-2000:]}")
    return result


def _processes_with_env(entry: str) -> List[int]:
    wanted = entry.encode()
    pids = []
    for proc in Path("/proc").iterdir():
        if not proc.name.isdigit():
            continue
        try:
            if wanted in (proc / "environ").read_bytes().split(b"\0"):
                pids.append(int(proc.name))
        except OSError:
            pass
    return pids


def copy_prefix(pristine: Path, target: Path) -> None:
    """Hard links for the 1.3 GB of files, real copies of what Wine rewrites in place."""
    if target.exists():
        shutil.rmtree(target)
    target.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["cp", "-al", str(pristine), str(target)], check=True)
    for name in COPIED:
        (target / name).unlink()
        shutil.copy2(pristine / name, target / name)


# --- a prefix in use --------------------------------------------------------------------------

def strip_log_times(text: str) -> str:
    """setup.exe's log without the time each line begins with."""
    return re.sub(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ", "", text, flags=re.M)


def exit_line(code: int) -> str:
    """The setup log's line for the exit code, in ExitCodes.def's words."""
    return f"exit code {exit_codes.code_text(code)}: {exit_codes.meanings()[code]}"


def windows_command_line(args: Union[str, Sequence[str]]) -> str:
    """A string passes through untouched; a list is quoted the way CommandLineToArgvW splits."""
    return args if isinstance(args, str) else subprocess.list2cmdline(list(args))


class Background:
    """A Windows program started by `ui_driver exec`, which reports its full exit code."""

    def __init__(self, prefix: "Prefix", command_line: str, hidden: bool = False,
                 output: Optional[str] = None):
        """hidden: on a window station of its own, as a service or SYSTEM's task sees it;
        output: a Windows path its standard output is redirected to."""
        self.prefix = prefix
        self.command_line = command_line
        verb = ["exec-to", output] if output else ["exec-hidden" if hidden else "exec"]
        self._out = tempfile.TemporaryFile()
        err = open(prefix.trace, "ab") if prefix.trace else subprocess.DEVNULL
        self.proc = subprocess.Popen(
            ["wine", str(prefix.tools / "ui_driver.exe"), *verb, command_line],
            env=prefix.env, cwd=prefix.kit, stdin=subprocess.DEVNULL, stdout=self._out,
            stderr=err)
        if prefix.trace:
            err.close()
        prefix._children.append(self)

    def running(self) -> bool:
        return self.proc.poll() is None

    def wait(self, timeout: float = 60) -> int:
        """The exit code; on timeout a screenshot goes to the run folder and TimeoutError."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            shot = self.prefix.screenshot()
            raise TimeoutError(f"{self.command_line} still running after {timeout}s; "
                               f"screen at {shot}") from None
        self._out.seek(0)
        out = self._out.read()
        match = re.search(rb"^exit (\d+)", out, re.M)
        if not match:
            raise WineError(f"{self.command_line}: {out.decode(errors='replace').strip()}")
        return int(match.group(1))

    def kill(self) -> None:
        if self.running():
            self.proc.kill()
            self.proc.wait()


class Prefix:
    """A throwaway copy of a pristine prefix with C:\\kit\\ and C:\\tools\\ in it."""

    def __init__(self, path: Path, kind: str, display: Optional[str]):
        self.path = path
        self.kind = kind
        self.drive_c = path / "drive_c"
        self.kit = self.drive_c / KIT_DIR
        self.tools = self.drive_c / TOOLS_DIR
        self.win64 = KINDS[kind]["WINEARCH"] == "win64"
        self.env = {**_host_env(), **BASE_ENV, "WINEPREFIX": str(path),
                    "LANG": KINDS[kind]["LANG"], "LC_ALL": KINDS[kind]["LANG"]}
        if display:
            self.env["DISPLAY"] = display
        self._children: List[Background] = []
        self.trace: Optional[Path] = None  # Wine's stderr of start()ed programs, see trace_loads
        self._shots = 0
        self.kit.mkdir(exist_ok=True)
        self.tools.mkdir(exist_ok=True)
        for name in ("ui_driver.exe", "msiquery.exe", "certstore.exe"):
            shutil.copy2(KIT_BIN / name, self.tools / name)

    # paths

    def host(self, windows_path: str) -> Path:
        """C:\\a\\b -> <prefix>/drive_c/a/b (Wine's file names match case-insensitively, but
        the host path is taken as spelled)."""
        drive, _, rest = windows_path.partition(":")
        if drive.upper() != "C":
            raise ValueError(f"only C: maps into the prefix: {windows_path}")
        return self.drive_c.joinpath(*[p for p in rest.split("\\") if p])

    def win(self, host_path: Path) -> str:
        """<prefix>/drive_c/a/b -> C:\\a\\b"""
        return "C:\\" + "\\".join(Path(host_path).relative_to(self.drive_c).parts)

    # running programs

    def wine(self, argv: Sequence[str], timeout: float = 60,
             check: bool = False) -> subprocess.CompletedProcess:
        """`wine argv...`; its exit status carries only the low 8 bits of the Windows code."""
        result = run(["wine", *argv], self.env, timeout, self.kit)
        if check and result.returncode != 0:
            raise WineError(f"wine {' '.join(argv)} -> {result.returncode}: "
                            f"{result.stdout.decode(errors='replace')}")
        return result

    def start(self, command_line: Union[str, Sequence[str]], hidden: bool = False,
              output: Optional[str] = None) -> Background:
        return Background(self, windows_command_line(command_line), hidden, output)

    def run(self, command_line: Union[str, Sequence[str]], timeout: float = 60,
            hidden: bool = False, output: Optional[str] = None) -> int:
        """Runs a Windows command line to its end and returns the full 32-bit exit code."""
        return self.start(command_line, hidden, output).wait(timeout)

    def setup_command(self, args: Union[str, Sequence[str]] = "") -> str:
        exe = self.kit / "setup.exe"
        if not exe.exists():
            shutil.copy2(SETUP_EXE, exe)
        tail = windows_command_line(args)
        return f'"{self.win(exe)}"' + (" " + tail if tail else "")

    def setup(self, args: Union[str, Sequence[str]] = "", timeout: float = 120,
              hidden: bool = False, output: Optional[str] = None) -> int:
        """Runs C:\\kit\\setup.exe with the given arguments; returns its exit code. hidden: as
        a service or SYSTEM's task starts it, where nobody sees a window; output: the Windows
        path its standard output goes to."""
        return self.run(self.setup_command(args), timeout, hidden, output)

    def start_setup(self, args: Union[str, Sequence[str]] = "") -> Background:
        return self.start(self.setup_command(args))

    def msiexec(self, *args: str, timeout: float = 120) -> int:
        return self.run(windows_command_line(["msiexec", *args]), timeout)

    def hold(self, windows_path: str, seconds: float = 120) -> Background:
        """Another Windows program holds the file open as a log viewer does: shared for reading
        and writing, not for deletion. Returns once it is open; kill() the result to let go."""
        holder = self.start([self.win(self.tools / "ui_driver.exe"), "hold", windows_path,
                             str(int(seconds * 1000))])
        deadline = time.monotonic() + 30
        while not self.host(windows_path + ".held").exists():
            if not holder.running() or time.monotonic() > deadline:
                raise WineError(f"could not hold {windows_path}")
            time.sleep(0.05)
        return holder

    def settle(self, timeout: float = 60) -> None:
        """Waits until the prefix's wineserver has ended, as it does after a requested restart:
        a query made while it winds down may read the registry as it was."""
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout)

    def kill(self) -> None:
        """Ends every program of this prefix and its wineserver."""
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        for child in self._children:
            child.kill()
        # Wine services have been seen outliving `wineserver -k`; they would run forever.
        for pid in _processes_with_env(f"WINEPREFIX={self.path}"):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    # the UI driver

    def ui(self, *args: str, timeout: float = 30) -> subprocess.CompletedProcess:
        return run(["wine", str(self.tools / "ui_driver.exe"), *args], self.env, timeout)

    def _ui_ok(self, *args: str) -> str:
        result = self.ui(*args)
        if result.returncode != 0:
            shot = self.screenshot()
            raise WineError(f"ui_driver {' '.join(args)} -> {result.returncode}: "
                            f"{result.stdout.decode(errors='replace').strip()}; screen at {shot}")
        return result.stdout.decode("utf-8")

    def wait_window(self, caption: str, timeout_ms: int = 10000) -> bool:
        return self.ui("wait", caption, str(timeout_ms),
                       timeout=timeout_ms / 1000 + 30).returncode == 0

    def wait_gone(self, caption: str, timeout_ms: int = 10000) -> bool:
        return self.ui("gone", caption, str(timeout_ms),
                       timeout=timeout_ms / 1000 + 30).returncode == 0

    def dump(self, caption: str, timeout_ms: int = 10000) -> dict:
        """{"class", "text", "style", ..., "controls": [{"id", "class", "text", "visible",
        "enabled", "checked" (buttons), "style", "rect"}]}; raises when there is no window."""
        lines = self._ui_ok("dump", caption, str(timeout_ms)).splitlines()
        window = json.loads(lines[0])
        window["controls"] = [json.loads(line) for line in lines[1:] if line.strip()]
        return window

    def message_box(self, caption: str, timeout_ms: int = 10000) -> Tuple[str, List[int]]:
        """The text of a message box (static 65535) and the ids of its buttons."""
        box = self.dump(caption, timeout_ms)
        text = next((c["text"] for c in box["controls"] if c["id"] == 0xFFFF), "")
        buttons = [c["id"] for c in box["controls"] if c["class"].lower() == "button"]
        return text, buttons

    def click(self, caption: str, control_id: int, timeout_ms: int = 10000) -> None:
        self._ui_ok("click", caption, str(control_id), str(timeout_ms))

    def answer(self, caption: str, button: str, timeout_ms: int = 10000) -> None:
        """button: IDYES, IDNO, IDOK, IDCANCEL or a number."""
        self._ui_ok("answer", caption, button, str(timeout_ms))

    def close(self, caption: str, timeout_ms: int = 10000) -> None:
        self._ui_ok("close", caption, str(timeout_ms))

    def key(self, caption: str, key: str, timeout_ms: int = 10000) -> None:
        self._ui_ok("key", caption, key, str(timeout_ms))

    def screenshot(self, path: Optional[Path] = None) -> Optional[Path]:
        if "DISPLAY" not in self.env:
            return None
        if path is None:
            self._shots += 1
            path = self.path / f"screen-{self._shots}.png"
        subprocess.run(["import", "-window", "root", str(path)], env=self.env,
                       capture_output=True, timeout=30)
        return path

    # the installer

    def msiquery(self, *args: str) -> List[str]:
        """Lines printed by msiquery.exe; WineError on an installer error."""
        result = run(["wine", str(self.tools / "msiquery.exe"), *args], self.env)
        out = result.stdout.decode("utf-8").splitlines()
        if result.returncode != 0:
            raise WineError(f"msiquery {' '.join(args)}: {' '.join(out)}")
        return out

    def _msiquery_value(self, *args: str) -> Optional[str]:
        try:
            return self.msiquery(*args)[0]
        except WineError:
            return None

    def product_state(self, product: str) -> int:
        """5 installed, -1 unknown."""
        return int(self.msiquery("state", product)[0])

    def product_info(self, product: str, name: str) -> Optional[str]:
        return self._msiquery_value("info", product, name)

    def related_products(self, upgrade_code: str = make_kit.UPGRADE_CODE) -> List[str]:
        return self.msiquery("related", upgrade_code)

    def package_name(self, product: str) -> Optional[str]:
        """The source list's PackageName."""
        return self._msiquery_value("sourcename", product)

    def component(self, product: str,
                  component: str = make_kit.TOOL_COMPONENT) -> Tuple[int, str]:
        """(install state, path): 3 installed locally, -1 unknown."""
        out = self.msiquery("component", product, component)
        return int(out[0]), out[1] if len(out) > 1 else ""

    def certstore(self, *args: str) -> subprocess.CompletedProcess:
        """certstore.exe add <file> | list: the root store through the certificate API."""
        result = run(["wine", str(self.tools / "certstore.exe"), *args], self.env)
        result.stdout = result.stdout.decode("utf-8")
        return result

    # the registry

    def reg_query(self, key: str, view: Optional[str] = None) -> Optional[RegKey]:
        """A key's values and subkey names; None when it does not exist. view: "32" or "64";
        by default the 32-bit view, which setup.exe sees."""
        argv = ["reg", "query", key] + ([f"/reg:{view}"] if view else [])
        result = self.wine(argv)
        if result.returncode != 0:
            return None
        values: Dict[str, Tuple[str, str]] = {}
        subkeys = []
        top = key.upper().replace("HKLM\\", "HKEY_LOCAL_MACHINE\\").replace(
            "HKCU\\", "HKEY_CURRENT_USER\\").rstrip("\\")
        for line in result.stdout.decode("utf-8", errors="replace").splitlines():
            if line.startswith("    "):
                name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
                values[name] = (kind, data)
            elif line.startswith("HKEY_") and line.upper().rstrip("\\") != top:
                subkeys.append(line.rsplit("\\", 1)[1])
        return RegKey(values, subkeys)

    def reg_exists(self, key: str, view: Optional[str] = None) -> bool:
        return self.reg_query(key, view) is not None

    def root_certificates(self) -> List[str]:
        """SHA-1 thumbprints of the machine's trusted root store."""
        return self._store_certificates("Root")

    def ca_certificates(self) -> List[str]:
        """SHA-1 thumbprints of the machine's intermediate store."""
        return self._store_certificates("CA")

    def _store_certificates(self, store: str) -> List[str]:
        key = self.reg_query(rf"HKLM\Software\Microsoft\SystemCertificates\{store}\Certificates")
        return [name.upper() for name in key.subkeys] if key else []

    # files the test doubles leave

    def read_lines(self, windows_path: str) -> List[str]:
        path = self.host(windows_path)
        if not path.exists():
            return []
        return [line.rstrip() for line in
                path.read_bytes().decode("utf-8", errors="replace").splitlines()]

    def ordo_tool_log(self) -> List[str]:
        """One command line per run of the init-tool double."""
        return self.read_lines(r"C:\ordo_tool.log")

    def set_ordo_tool_exit(self, code: Union[int, str]) -> None:
        """The exit code of the next runs of the init-tool double, or "hang"."""
        self.host(r"C:\ordo_tool_exit.txt").write_text(str(code))

    def setup_log(self) -> str:
        """The newest default log of setup.exe in the prefix's temporary folders, without its
        time stamps: one fact a line."""
        logs = sorted(list(self.drive_c.glob("users/*/Temp/QuorvaneSetup_*.log")) +
                      list(self.drive_c.glob("windows/temp/QuorvaneSetup_*.log")),
                      key=lambda p: p.stat().st_mtime_ns)
        return strip_log_times(logs[-1].read_text("utf-8")) if logs else ""

    def ks_log(self) -> List[str]:
        """"<action> <ProductVersion> [UPGRADINGPRODUCTCODE]" per run of KSProcess(64)."""
        return self.read_lines(make_kit.KS_LOG)

    def planted_log(self) -> List[str]:
        return self.read_lines(r"C:\planted.log")

    # kits

    def add_packages(self, *packages: make_kit.Package) -> List[Path]:
        return [make_kit.build_package(p, self.kit) for p in packages]

    def add_certificates(self, source: Path) -> None:
        make_kit.copy_certificates(source, self.kit)

    def prefer_native(self, *dlls: str) -> None:
        """Wine loads its own msi.dll, crypt32.dll... even when a DLL of that name lies beside
        the program; only a native-first override lets a planted one load at all."""
        names = ",".join(d.removesuffix(".dll") for d in dlls)
        self.env["WINEDLLOVERRIDES"] = f"{BASE_ENV['WINEDLLOVERRIDES']};{names}=n,b"

    def trace_loads(self) -> None:
        """Programs started from now on (and those they start) log each module they load."""
        self.env["WINEDEBUG"] = "+loaddll"
        self.trace = self.path / "loaddll.log"

    def trace_starts(self) -> None:
        """Programs started from now on (and those they start) log each program they start."""
        self.env["WINEDEBUG"] = "+process"
        self.trace = self.path / "process.log"

    def started_programs(self) -> List[str]:
        """Command lines of the programs started since trace_starts()."""
        if not self.trace or not self.trace.exists():
            return []
        text = self.trace.read_bytes().decode("utf-8", errors="replace")
        return [m[1].replace("\\\\", "\\").replace('\\"', '"') for m in
                re.finditer(r'CreateProcessInternalW app \S+ cmdline L"(.*)"$', text, re.M)]

    def trace_restarts(self) -> None:
        """Programs started from now on log the restarts they ask for (see restart_requested)."""
        self.env["WINEDEBUG"] = "fixme+advapi"
        self.trace = self.path / "advapi.log"

    def restart_requested(self) -> bool:
        """Wine's InitiateSystemShutdownExW is a stub that answers TRUE and restarts nothing; its
        fixme line shows the request and its arguments: no message, no delay, forced, a restart,
        a planned one for an installation."""
        if not self.trace or not self.trace.exists():
            return False
        text = self.trace.read_bytes().decode("utf-8", errors="replace")
        return "fixme:advapi:InitiateSystemShutdownExW (null) (null) 0 1 1 0x80040002" in text

    def loaded_modules(self) -> List[Tuple[str, str]]:
        """(Windows path, "native" or "builtin") of each module loaded since trace_loads()."""
        if not self.trace or not self.trace.exists():
            return []
        text = self.trace.read_bytes().decode("utf-8", errors="replace")
        return [(m[1].replace("\\\\", "\\"), m[2])
                for m in re.finditer(r'Loaded L"(.*?)" at \S+: (\w+)', text)]

    def plant(self, *names: str) -> None:
        """Copies look-alikes from the kit's plant/ folder (msi.dll, msiexec.exe) to C:\\kit."""
        for name in names:
            shutil.copy2(KIT_BIN / "plant" / name, self.kit / name)
