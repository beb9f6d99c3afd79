#!/usr/bin/env python3
"""Builds test kits: stand-in product packages (.msi) and certificate files.

Packages come from package.wxs.in through wixl; the custom actions that wixl drops are added with
msibuild. Certificates come from openssl. Importable by the tests and runnable by hand:

    make_kit.py OUT_DIR [--version 5.0.10] [qv_x64_kc2_rus.msi ...]
"""
import argparse
import dataclasses
import hashlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path
from typing import Dict, List, NamedTuple, Optional, Sequence

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
KIT_BIN = REPO / "build" / "windows" / "tests" / "kit"
SETUP_EXE = REPO / "build" / "windows" / "setup.exe"

UPGRADE_CODE = "{5D1E6F0A-3C2B-4E8D-9A71-0B6C4F2E8D13}"
TOOL_COMPONENT = "{1C4180E8-7402-4413-ADD3-409E7CFCB225}"
# Where the tool component lands, relative to the Program Files folder of the package's platform.
TOOL_FOLDER = r"Quorvane Test\lib"
KS_LOG = r"C:\ks.log"
INSTALL_LOG = r"C:\install.log"

# Each action appends "<action> <ProductVersion> <UPGRADINGPRODUCTCODE>" to C:\ks.log. By default
# they run only on removal, as a product's clean-up would; the UPGRADINGPRODUCTCODE field shows
# whether that removal was part of an upgrade.
REMOVAL = 'REMOVE="ALL"'
KS_DEFAULT = {"KSProcess": REMOVAL, "KSProcess64": REMOVAL}
# After InstallValidate, before InstallInitialize.
KS_SEQUENCE = {"KSProcess": 1410, "KSProcess64": 1420}

# Custom action types: 34 runs an exe with a directory as working folder (+64: its exit code is
# ignored); 19 shows its text as an error and fails the installation, which Wine reports as 1603.
# A failing exe action would be the obvious choice, but Wine turns that into 1627.
CA_EXE_IGNORE = 34 + 64
CA_ERROR = 19
# Shown in a box captioned "Error" unless msiexec runs with /qn.
FAIL_MESSAGE = "The Quorvane test package fails on purpose."

_FROM_NAME = "from name"


class Payload(NamedTuple):
    """Filler files installed beside the tool, so that an installation moves a product's bulk."""

    files: int
    total_bytes: int


# Folders of a product's tree, under the vendor folder.
PAYLOAD_FOLDERS = ("bin", "lib", "plugins", "data", "locale", "doc", "help", "templates")


@dataclasses.dataclass
class Package:
    """One package. Fields left at their defaults are derived from the file name, the way the
    real packages are named: platform "x64"/"win32", level "kc1".."kc3", language "eng"/"rus"."""

    file_name: str
    version: str = "5.0.9"
    product_code: Optional[str] = None  # default: one code per version and platform
    upgrade_code: str = UPGRADE_CODE
    name: str = "Quorvane CSP"
    language: Optional[int] = None  # 1049 for "rus" names, else 1033
    release_flags: Optional[str] = _FROM_NAME  # "kc2," for a kc2 name; None leaves it out
    platform: Optional[str] = None  # "x64" or "win32"
    ks_actions: Dict[str, str] = dataclasses.field(default_factory=lambda: dict(KS_DEFAULT))
    fail: bool = False  # fails after InstallFiles: msiexec rolls back and returns 1603
    # fails before InstallValidate, so before an upgrade removes anything (Wine does not roll
    # a nested removal back)
    fail_early: bool = False
    # fails before InstallValidate when this property is set, e.g. by FAILME=1 on the command line
    fail_when: Optional[str] = None
    reboot: bool = False  # ScheduleReboot: msiexec returns 3010
    reboot_on_removal: bool = False  # the same when it is removed
    no_product_code: bool = False  # the ProductCode property row is deleted
    garbage: bool = False  # not a database at all: msiexec rejects it
    properties: Dict[str, str] = dataclasses.field(default_factory=dict)
    # On installation, appends "UILevel <n> <file name>" to C:\install.log: the interface level
    # that msiexec ran with (2 none, 3 basic, 5 full).
    trace_ui: bool = False
    payload: Optional[Payload] = None
    # The payload's cabinet beside the package under this name, as the Media table says,
    # rather than embedded.
    external_cabinet: Optional[str] = None

    def __post_init__(self):
        lower = self.file_name.lower()
        if self.platform is None:
            self.platform = "win32" if "win32" in lower else "x64"
        if self.language is None:
            self.language = 1049 if "rus" in lower else 1033
        if self.release_flags is _FROM_NAME:
            level = re.search(r"kc[123]", lower)
            self.release_flags = level.group(0) + "," if level else None
        if self.product_code is None:
            self.product_code = guid(f"{self.upgrade_code} {self.version} {self.platform}")

    def tool_folder(self, win64: bool = True) -> str:
        """Where the tool lands on a 64-bit or 32-bit system, with the trailing backslash."""
        x86 = win64 and self.platform == "win32"
        return f"C:\\Program Files{' (x86)' if x86 else ''}\\{TOOL_FOLDER}\\"


def guid(seed: str) -> str:
    """A stable GUID in braces for the given text, so kits are reproducible."""
    return "{" + str(uuid.uuid5(uuid.NAMESPACE_URL, "quorvane-test:" + seed)).upper() + "}"


def _sql(text: str) -> str:
    return "'" + text.replace("'", "''") + "'"


def default_tool() -> Path:
    tool = KIT_BIN / "ordo_tool.exe"
    if not tool.exists():
        raise FileNotFoundError(f"{tool} is missing: cmake --build --preset windows --target kit")
    return tool


def _wxs(package: Package, payload: Dict[str, str]) -> str:
    win64 = package.platform == "x64"
    fields = {
        **payload,
        "PRODUCT_CODE": package.product_code,
        "UPGRADE_CODE": package.upgrade_code,
        "VERSION": package.version,
        "LANGUAGE": str(package.language),
        "PROGRAM_FILES": "ProgramFiles64Folder" if win64 else "ProgramFilesFolder",
        "WIN64": "yes" if win64 else "no",
    }
    text = (HERE / "package.wxs.in").read_text(encoding="utf-8")
    for key, value in fields.items():
        text = text.replace(f"@{key}@", value)
    return text


_WORDS = ("data", "value", "key", "name", "file", "entry", "table", "record", "index", "config",
          "module", "service", "provider", "certificate", "container", "<item>", "</item>",
          "0x1F", "=", ";", "\r\n")


def _write_payload(package: Package, work: Path) -> Dict[str, str]:
    """Writes the payload's files into work/payload/ and returns the .wxs fragments that install
    them, one component a file as WiX authors do. Sizes spread from hundreds of bytes to
    hundreds of kilobytes; binaries are random and text compresses, as a real product's mix
    does. The same package always gets the same files."""
    fragments = {"PAYLOAD_DIRECTORIES": "", "PAYLOAD_COMPONENTS": ""}
    if package.payload is None:
        return fragments
    files, total = package.payload
    rng = random.Random(f"{package.file_name} {files} {total}")
    weights = [rng.lognormvariate(0, 1.5) for _ in range(files)]
    scale = total / sum(weights)
    sizes = [int(w * scale) for w in weights]
    sizes[0] += total - sum(sizes)
    win64 = "yes" if package.platform == "x64" else "no"
    folders: Dict[str, List[str]] = {name: [] for name in PAYLOAD_FOLDERS}
    refs = []
    for i, size in enumerate(sizes):
        folder = PAYLOAD_FOLDERS[i % len(PAYLOAD_FOLDERS)]
        text = i % 5 < 2
        name = f"f{i:04d}.{'txt' if text else 'dll'}"
        source = work / "payload" / folder / name
        source.parent.mkdir(parents=True, exist_ok=True)
        if text:
            words = b""
            while len(words) < size:
                words += " ".join(rng.choices(_WORDS, k=size // 5 + 16)).encode() + b" "
            source.write_bytes(words[:size])
        else:
            source.write_bytes(rng.randbytes(size))
        component = f"P{i:04d}"
        folders[folder].append(
            f'<Component Id="{component}" Guid="{guid(package.file_name + component)}" '
            f'Win64="{win64}"><File Id="{component}" Name="{name}" '
            f'Source="payload/{folder}/{name}" KeyPath="yes"/></Component>')
        refs.append(f'<ComponentRef Id="{component}"/>')
    fragments["PAYLOAD_DIRECTORIES"] = "".join(
        f'<Directory Id="PAYLOAD_{folder.upper()}" Name="{folder}">{"".join(parts)}</Directory>'
        for folder, parts in folders.items())
    fragments["PAYLOAD_COMPONENTS"] = "".join(refs)
    return fragments


def _codepage(package: Package) -> str:
    return "1251" if package.language == 1049 else "1252"


def _queries(package: Package) -> List[str]:
    # Text properties go in here rather than through wixl, which loses anything non-ASCII.
    queries = [f"UPDATE `Property` SET `Value`={_sql(package.name)} "
               "WHERE `Property`='ProductName'"]
    properties = dict(package.properties)
    if package.release_flags is not None:
        properties["ISReleaseFlags"] = package.release_flags
    queries += [f"INSERT INTO `Property` (`Property`,`Value`) VALUES ({_sql(k)}, {_sql(v)})"
                for k, v in properties.items()]
    actions, sequence = [], []
    for action, condition in package.ks_actions.items():
        command = f"cmd.exe /c echo {action} [ProductVersion] [UPGRADINGPRODUCTCODE]>>{KS_LOG}"
        actions.append((action, CA_EXE_IGNORE, "TARGETDIR", command))
        sequence.append((action, condition, KS_SEQUENCE.get(action, 1430)))
    if package.trace_ui:
        command = f"cmd.exe /c echo UILevel [UILevel] {package.file_name}>>{INSTALL_LOG}"
        actions.append(("TraceUiLevel", CA_EXE_IGNORE, "TARGETDIR", command))
        sequence.append(("TraceUiLevel", "NOT REMOVE", 1440))
    if package.fail or package.fail_early or package.fail_when:
        actions.append(("FailMidway", CA_ERROR, "", FAIL_MESSAGE))
        # right after InstallFiles, or before InstallValidate
        condition = f"NOT REMOVE AND {package.fail_when}" if package.fail_when else "NOT REMOVE"
        sequence.append(("FailMidway", condition, 4010 if package.fail else 1390))
    if package.reboot or package.reboot_on_removal:
        condition = 'REMOVE="ALL"' if package.reboot_on_removal else "NOT REMOVE"
        sequence.append(("ScheduleReboot", condition, 6595))
    queries += [
        "INSERT INTO `CustomAction` (`Action`,`Type`,`Source`,`Target`) "
        f"VALUES ({_sql(a)}, {t}, {_sql(s)}, {_sql(c)})" for a, t, s, c in actions]
    # An empty condition (always run) is a missing value; libmsi's SQL has no NULL literal.
    queries += [
        "INSERT INTO `InstallExecuteSequence` (`Action`,`Condition`,`Sequence`) "
        f"VALUES ({_sql(a)}, {_sql(c)}, {s})" if c else
        f"INSERT INTO `InstallExecuteSequence` (`Action`,`Sequence`) VALUES ({_sql(a)}, {s})"
        for a, c, s in sequence]
    if package.no_product_code:
        queries.append("DELETE FROM `Property` WHERE `Property`='ProductCode'")
    return queries


# Every package built gets a PackageCode of its own (wixl draws one): a run ended from outside is
# found committed by the installed product's PackageCode, which must name one package only.
_package_codes: set = set()


def _package_code(path: Path) -> str:
    summary = _run(["msiinfo", "suminfo", str(path)]).stdout.decode()
    code = re.search(r"^Revision number \(UUID\): (\{[0-9A-F-]{36}\})", summary,
                     re.M | re.I).group(1)
    assert code not in _package_codes, f"{path.name} has the PackageCode of another package"
    _package_codes.add(code)
    return code


def build_package(package: Package, folder: Path, tool: Optional[Path] = None) -> Path:
    """Writes folder/<file_name> and returns its path."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    out = folder / package.file_name
    if package.garbage:
        out.write_bytes(b"This is not an installer database.\r\n" * 64)
        return out
    with tempfile.TemporaryDirectory(prefix="kit-") as work:
        work = Path(work)
        # wixl takes File sources relative to the .wxs only.
        shutil.copy(tool or default_tool(), work / "ordo_tool.exe")
        (work / "package.wxs").write_text(_wxs(package, _write_payload(package, work)),
                                          encoding="utf-8")
        arch = "x64" if package.platform == "x64" else "x86"
        _run(["wixl", "-a", arch, "-o", str(out.resolve()), "package.wxs"], cwd=work)
        # The code page first: msibuild stores the UTF-8 it is given in the database's code page.
        codepage = work / "_ForceCodepage.idt"
        codepage.write_text(f"\r\n\r\n{_codepage(package)}\t_ForceCodepage\r\n")
        _run(["msibuild", str(out), "-i", str(codepage)]
             + [arg for q in _queries(package) for arg in ("-q", q)])
        if package.external_cabinet:
            cabinet = _run(["msiinfo", "extract", str(out), "package.cab"]).stdout
            (folder / package.external_cabinet).write_bytes(cabinet)
            _run(["msibuild", str(out), "-q", "UPDATE `Media` SET `Cabinet`="
                  f"{_sql(package.external_cabinet)} WHERE `DiskId`=1"])
    _package_code(out)
    return out


def _run(argv: List[str], **kwargs) -> subprocess.CompletedProcess:
    result = subprocess.run(argv, capture_output=True, **kwargs)
    if result.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed ({result.returncode}): "
                           f"{result.stderr.decode(errors='replace')}")
    return result


# --- certificates ---------------------------------------------------------------------------

# File name -> the certificates it holds, in file order.
CERTIFICATE_FILES = {
    "root.cer": ["root"],  # DER
    "root.crt": ["root"],  # PEM
    "intermediate.cer": ["intermediate"],
    "intermediate.crt": ["intermediate"],
    "leaf.cer": ["leaf"],
    "leaf.crt": ["leaf"],
    "bundle.p7b": ["leaf", "intermediate", "root"],  # PKCS #7, DER
    "chain.crt": ["intermediate_b", "root_b"],  # PEM blocks amid text, as bundles are made
    "v1_root.cer": ["v1_root"],  # version 1: no extensions at all
    "impostor.cer": ["impostor"],  # names itself its issuer, but another key signed it
    # Algorithms Wine's 32-bit crypt32 cannot check (NTE_BAD_ALGID), which Windows 10 and 11
    # check: under Wine their key identifiers decide.
    "ed25519_root.cer": ["ed25519_root"],  # self-signed, names its own key: Root
    # Self-signed: Windows verifies RSA-PSS (Root). Wine takes the RSA key but not the PSS
    # signature, and its authority key identifier names another key: CA.
    "pss_root.crt": ["pss_root"],
    # Another brainpool key signed it: a CA where a provider takes the key (Windows). Wine has
    # none, and nothing names another key: Root.
    "brainpool_ca.cer": ["brainpool_ca"],
}
# The store each certificate goes to under Wine; None: an end entity, added nowhere.
CERTIFICATE_STORES = {"root": "Root", "root_b": "Root", "v1_root": "Root",
                      "intermediate": "CA", "intermediate_b": "CA", "impostor": "CA",
                      "leaf": None, "ed25519_root": "Root", "pss_root": "CA",
                      "brainpool_ca": "Root"}
# Where Windows 10 and 11 put them instead, and why.
WINDOWS_STORES = {
    "pss_root": ("Root", "Windows verifies RSA-PSS; Wine has RSA but not PSS, and its authority "
                 "key identifier names another key"),
    "brainpool_ca": ("CA", "Windows has a brainpool provider, so a signature of another key is "
                     "no root's; Wine has none, and nothing names another key"),
}
# Why Wine's 32-bit setup.exe cannot check each, as its warning says.
UNCHECKABLE = {"ed25519_root": "this 32-bit process cannot check its signature",
               "pss_root": "a provider takes its key, yet its check knows no such algorithm",
               "brainpool_ca": "this 32-bit process cannot check its signature"}
BROKEN_CERTIFICATE = "broken.cer"
# No configured extensions: each certificate has only the ones asked for.
_BARE_CONFIG = "[req]\ndistinguished_name = dn\n[dn]\n"


def _make_ca(subject: str, work: Path) -> bytes:
    """A self-signed CA certificate, DER encoded."""
    return _der(_certificate(work, subject.replace(" ", "_"), subject, ca=True))


def _certificate(work: Path, name: str, subject: str, ca: Optional[bool] = None,
                 issuer: Optional[str] = None,
                 key_args: Sequence[str] = ("ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"),
                 extensions: Sequence[str] = ()) -> Path:
    """work/<name>.pem (key beside it as <name>.key), signed by issuer's key or its own.
    key_args: -newkey's and how it signs. ca None: no extensions but `extensions`. EC keys: RSA
    generation costs far more."""
    config = work / "bare.cnf"
    config.write_text(_BARE_CONFIG)
    pem, key = work / f"{name}.pem", work / f"{name}.key"
    argv = ["openssl", "req", "-x509", "-config", str(config), "-newkey", *key_args,
            "-nodes", "-keyout", str(key), "-out", str(pem), "-days", "7300",
            "-subj", f"/O=Quorvane Test/CN={subject}"]
    for extension in extensions:
        argv += ["-addext", extension]
    if issuer:
        argv += ["-CA", str(work / f"{issuer}.pem"), "-CAkey", str(work / f"{issuer}.key")]
    if ca is not None:
        argv += ["-addext", f"basicConstraints=critical,CA:{str(ca).upper()}"]
    if ca:
        argv += ["-addext", "keyUsage=critical,keyCertSign,cRLSign"]
    _run(argv)
    # Wine's crypt32 rejects an ECDSA signature whose r is shorter than the curve's 32 bytes
    # (one in 256), and a root would then read as signed by another key: sign again.
    while _short_r(_der(pem)):
        _run(argv)
    return pem


def _der(pem: Path) -> bytes:
    return _run(["openssl", "x509", "-in", str(pem), "-outform", "DER"]).stdout


def _short_r(der: bytes) -> bool:
    """Whether the certificate ends in a P-256 ECDSA signature whose r has fewer than 32 bytes."""
    for size in range(0x44, 0x49):  # the BIT STRING: 0, then SEQUENCE { INTEGER r, INTEGER s }
        if der[-size - 2:-size + 2] == bytes([3, size, 0, 0x30]):
            signature = der[-size + 1:]
            return len(signature[4:4 + signature[3]].lstrip(b"\0")) < 32
    return False


def make_certificates(folder: Path) -> Dict[str, List[str]]:
    """Writes the certificate files and broken.cer; returns file name -> SHA-1 thumbprints."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="kit-") as work:
        work = Path(work)
        pems = {
            "root": _certificate(work, "root", "Quorvane Test Root", ca=True),
            "intermediate": _certificate(work, "intermediate", "Quorvane Test Intermediate",
                                         ca=True, issuer="root"),
            "leaf": _certificate(work, "leaf", "Quorvane Test Leaf", ca=False,
                                 issuer="intermediate"),
            "root_b": _certificate(work, "root_b", "Quorvane Test Root B", ca=True),
            "intermediate_b": _certificate(work, "intermediate_b",
                                           "Quorvane Test Intermediate B", ca=True,
                                           issuer="root_b"),
            "v1_root": _certificate(work, "v1_root", "Quorvane Test V1 Root"),
        }
        # The impostor's issuer name is its own; the key that signed it is another's.
        _certificate(work, "signer", "Quorvane Test Impostor")
        pems["impostor"] = _certificate(work, "impostor", "Quorvane Test Impostor", ca=True,
                                        issuer="signer")
        # Its authority key identifier names its own key by an identifier longer than 64 bytes,
        # and its long name (past 1 KiB) and serial: read whole, they say Root.
        units = "".join(f"/OU=Quorvane Test Unit {i:02} " + "x" * 40 for i in range(24))
        pems["ed25519_root"] = _certificate(
            work, "ed25519_root", "Quorvane Test Ed25519 Root" + units, key_args=["ed25519"],
            extensions=["subjectKeyIdentifier=" + ":".join(["a5"] * 100),
                        "authorityKeyIdentifier=keyid:always,issuer:always"])
        pems["pss_root"] = _certificate(
            work, "pss_root", "Quorvane Test PSS Root", ca=True,
            key_args=["rsa", "-pkeyopt", "rsa_keygen_bits:2048", "-sigopt",
                      "rsa_padding_mode:pss"],
            extensions=["2.5.29.35=DER:30:16:80:14" + ":5a" * 20])
        brainpool = ["ec", "-pkeyopt", "ec_paramgen_curve:brainpoolP256r1"]
        _certificate(work, "brainpool_signer", "Quorvane Test Brainpool CA", key_args=brainpool)
        pems["brainpool_ca"] = _certificate(work, "brainpool_ca", "Quorvane Test Brainpool CA",
                                            ca=True, issuer="brainpool_signer",
                                            key_args=brainpool)
        ders = {name: _der(pem) for name, pem in pems.items()}
        for name, members in CERTIFICATE_FILES.items():
            out = folder / name
            if name.endswith(".cer"):
                out.write_bytes(ders[members[0]])
            elif name.endswith(".p7b"):
                files = [arg for m in members for arg in ("-certfile", str(pems[m]))]
                _run(["openssl", "crl2pkcs7", "-nocrl", *files, "-outform", "DER",
                      "-out", str(out)])
            else:
                out.write_bytes(b"".join(
                    f"subject=/O=Quorvane Test/{m}\r\n".encode() + _pem(ders[m]) + b"\r\n"
                    for m in members))
    (folder / BROKEN_CERTIFICATE).write_bytes(b"-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydA==\n")
    return {name: [sha1(ders[m]) for m in members] for name, members in CERTIFICATE_FILES.items()}


def certificate_stores(prints: Dict[str, List[str]]) -> Dict[Optional[str], set]:
    """The thumbprints by the store they belong in: "Root", "CA", None (an end entity)."""
    stores = {"Root": set(), "CA": set(), None: set()}
    for name, members in CERTIFICATE_FILES.items():
        for member, thumbprint in zip(members, prints[name]):
            stores[CERTIFICATE_STORES[member]].add(thumbprint)
    return stores


def seal(folder: Path) -> str:
    """The seal of a kit folder: "<SHA-256> <size> <name>" a line, for every file but setup.exe,
    in the order of the names' UTF-8 bytes."""
    files = sorted((p for p in Path(folder).iterdir()
                    if p.is_file() and p.name.lower() != "setup.exe"),
                   key=lambda p: p.name.encode("utf-8"))
    return "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()} {p.stat().st_size} {p.name}\n"
                   for p in files)


def copy_certificates(source: Path, folder: Path) -> None:
    for name in [*CERTIFICATE_FILES, BROKEN_CERTIFICATE]:
        shutil.copy2(Path(source) / name, Path(folder) / name)


def sha1(der: bytes) -> str:
    return hashlib.sha1(der).hexdigest().upper()


def _pem(der: bytes) -> bytes:
    return _run(["openssl", "x509", "-inform", "DER", "-outform", "PEM"], input=der).stdout


# --- kits -----------------------------------------------------------------------------------

def variants(version: str = "5.0.9", prefix: str = "qv", **fields) -> List[Package]:
    """The full set a release folder holds: both platforms, three levels, two languages."""
    return [Package(f"{prefix}_{platform}_{level}_{lang}.msi", version=version, **fields)
            for platform in ("x64", "win32") for level in ("kc1", "kc2", "kc3")
            for lang in ("eng", "rus")]


def build_kit(folder: Path, packages: List[Package], certificates: bool = True,
              tool: Optional[Path] = None, setup: Optional[Path] = None) -> Dict[str, List[str]]:
    """Fills folder with the packages, the certificate files if asked and setup.exe if given.
    Returns the certificates' thumbprints by file name."""
    for package in packages:
        build_package(package, folder, tool)
    if setup:
        shutil.copy2(setup, Path(folder) / "setup.exe")
    return make_certificates(folder) if certificates else {}


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("names", nargs="*", help="package file names (default: all variants)")
    parser.add_argument("--version", default="5.0.9")
    parser.add_argument("--tool", type=Path, help="the ordo_tool.exe to package")
    parser.add_argument("--no-certificates", action="store_true")
    parser.add_argument("--setup", type=Path, default=SETUP_EXE if SETUP_EXE.exists() else None,
                        help="the setup.exe to copy in (default: the built one, if any)")
    args = parser.parse_args(argv)
    packages = ([Package(n, version=args.version) for n in args.names] if args.names
                else variants(args.version))
    prints = build_kit(args.folder, packages, not args.no_certificates, args.tool, args.setup)
    for package in packages:
        print(f"{package.file_name}\t{package.product_code}\t{package.version}\t"
              f"{package.platform}\t{package.language}\t{package.release_flags}")
    for name, file_prints in prints.items():
        print(f"{name}\t{' '.join(file_prints)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
