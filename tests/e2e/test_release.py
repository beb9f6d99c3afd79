"""The release: scripts/release.sh and scripts/sign.sh with throwaway keys (a PKCS#12 file, a
SoftHSM token, a local time-stamp authority), the signed file checked as a customer would check
it; a kit sealed into the release and the release rebuilt from its notes (scripts/reproduce.sh);
and scripts/setup.sh as root, through sudo and with neither."""
import hashlib
import json
import http.server
import os
import shutil
import subprocess
import threading
from pathlib import Path
from xml.etree import ElementTree

import pytest

import make_kit
import peinfo
from make_kit import Package
from test_resources import REPO, VERSION

RELEASE = REPO / "build" / "release"
BASE = f"QuorvaneSetup-{VERSION}"
PASSWORD = "correct horse"
PIN = "4711"
TOKEN_URI = "pkcs11:token=qv-release;object=signer"
SOFTHSM = "/usr/lib/softhsm/libsofthsm2.so"
RT_RCDATA, SEAL_ID = 10, 200
MARKER = r"HKCU\Software\NeedBstrReboot"

# Besides a package and the certificate files, what sealing must get right: a space, Cyrillic,
# an empty file; and what it must leave out: a sub-folder and setup.exe in any case.
KIT_EXTRAS = {"Zeta readme.txt": b"read me\n", "Лицензия.txt": "Текст\n".encode(),
              "empty.dat": b"", "SETUP.EXE": b"MZ a stale setup.exe", "extras/notes.txt": b"x"}
# In the order of the names' bytes, which is not the order of any natural language.
SEALED = ["Zeta readme.txt", "brainpool_ca.cer", "broken.cer", "bundle.p7b", "chain.crt",
          "ed25519_root.cer", "empty.dat", "impostor.cer", "intermediate.cer", "intermediate.crt",
          "leaf.cer", "leaf.crt", "prerequisite.msi", "pss_root.crt", "qv_arm64_kc1_eng.msi",
          "qv_x64_kc1_eng.msi", "root.cer", "root.crt", "v1_root.cer", "Лицензия.txt"]
# The deployment tools' settings a sealed release writes for each platform and level of the kit.
TOOL_SETTINGS = [f"tool-settings/{folder}/{name}" for folder in ("arm64-kc1", "x64-kc1")
                 for name in ("configmgr.txt", "detect.js", "detect.ps1", "intune-win32app.json",
                              "psadt4.ps1")]

EXTENSIONS = """[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[tsa]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
"""
TSA_CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
serial = {folder}/tsa.serial
signer_digest = sha256
default_policy = 1.3.6.1.4.1.32473.1
digests = sha256
ess_cert_id_alg = sha256
"""


def _run(argv, **kwargs):
    return subprocess.run([str(a) for a in argv], capture_output=True, text=True, **kwargs)


def _checked(argv, **kwargs):
    result = _run(argv, **kwargs)
    assert result.returncode == 0, f"{argv[0]}: {result.stdout}{result.stderr}"
    return result


def _certificate(folder, name, section, issuer=None):
    """folder/name.pem and folder/name.key; self-signed without an issuer."""
    key, pem = folder / f"{name}.key", folder / f"{name}.pem"
    request = ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
               "-subj", f"/O=Quorvane Test/CN={name}"]
    if issuer is None:
        _checked([*request, "-x509", "-days", "2", "-out", pem, "-config", folder / "ext.cnf",
                  "-extensions", section])
    else:
        csr = _checked(request).stdout
        _checked(["openssl", "x509", "-req", "-days", "2", "-CA", folder / f"{issuer}.pem",
                  "-CAkey", folder / f"{issuer}.key", "-extfile", folder / "ext.cnf",
                  "-extensions", section, "-out", pem], input=csr)
    return pem


@pytest.fixture(scope="module")
def keys(tmp_path_factory):
    """A CA, a code-signing certificate under it (also as signer.p12), a stranger CA and a
    time-stamping certificate, all valid for two days."""
    folder = tmp_path_factory.mktemp("keys")
    (folder / "ext.cnf").write_text(EXTENSIONS)
    for name, section, issuer in [("ca", "ca", None), ("stranger", "ca", None),
                                  ("signer", "signer", "ca"), ("tsa", "tsa", "ca")]:
        _certificate(folder, name, section, issuer)
    _checked(["openssl", "pkcs12", "-export", "-inkey", folder / "signer.key", "-in",
              folder / "signer.pem", "-out", folder / "signer.p12", "-passout", f"pass:{PASSWORD}"])
    return folder


@pytest.fixture(scope="module")
def token(keys):
    """A SoftHSM token holding the signing key and its certificate; the environment to reach it."""
    folder = keys / "softhsm"
    folder.mkdir()
    (keys / "softhsm2.conf").write_text(f"directories.tokendir = {folder}\n"
                                        "objectstore.backend = file\nlog.level = ERROR\n")
    env = {**os.environ, "SOFTHSM2_CONF": str(keys / "softhsm2.conf")}
    _checked(["softhsm2-util", "--init-token", "--free", "--label", "qv-release", "--pin", PIN,
              "--so-pin", "000000"], env=env)
    _checked(["softhsm2-util", "--import", keys / "signer.key", "--token", "qv-release",
              "--label", "signer", "--id", "01", "--pin", PIN], env=env)
    _checked(["pkcs11-tool", "--module", SOFTHSM, "--token-label", "qv-release", "--login",
              "--pin", PIN, "--write-object", keys / "signer.pem", "--type", "cert",
              "--id", "01", "--label", "signer"], env=env)
    return env


@pytest.fixture(scope="module")
def tsa(keys):
    """An RFC 3161 time-stamp authority on the loopback interface, answered by `openssl ts`."""
    (keys / "tsa.cnf").write_text(TSA_CONFIG.format(folder=keys))
    (keys / "tsa.serial").write_text("01\n")

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(
                ["openssl", "ts", "-reply", "-config", str(keys / "tsa.cnf"), "-queryfile",
                 "/dev/stdin", "-inkey", str(keys / "tsa.key"), "-signer", str(keys / "tsa.pem"),
                 "-out", "/dev/stdout"], input=query, capture_output=True).stdout
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_address[1]}/"
    server.shutdown()


def _release(folder, *args, **kwargs):
    """build/release/ after the whole release script, kept in folder: the next release
    replaces build/release/."""
    _checked(["bash", REPO / "scripts" / "release.sh", *args], **kwargs)
    shutil.copytree(RELEASE, folder, ignore=shutil.ignore_patterns("cmake"))
    return folder


@pytest.fixture(scope="module")
def released(keys, tmp_path_factory):
    """An unsealed release, signed with the PKCS#12 file as --unsealed allows."""
    return _release(tmp_path_factory.mktemp("unsealed") / "release", "--unsealed", "--pkcs12",
                    keys / "signer.p12", env={**os.environ, "QV_SIGN_PASSWORD": PASSWORD})


@pytest.fixture(scope="module")
def kit(tmp_path_factory, certificates):
    """A package for x64 and one for ARM64 (its summary's Template says so), a prerequisite of
    another product under a name without a platform token, the certificates and KIT_EXTRAS."""
    folder = tmp_path_factory.mktemp("kit")
    make_kit.build_package(Package("qv_x64_kc1_eng.msi"), folder)
    arm64 = make_kit.build_package(Package("qv_arm64_kc1_eng.msi"), folder)
    _checked(["msibuild", arm64, "-s", "Quorvane CSP", "Quorvane Test", "Arm64;1033"])
    make_kit.build_package(Package("prerequisite.msi", upgrade_code=make_kit.guid("other")),
                           folder)
    make_kit.copy_certificates(certificates[0], folder)
    for name, data in KIT_EXTRAS.items():
        (folder / name).parent.mkdir(exist_ok=True)
        (folder / name).write_bytes(data)
    return folder


@pytest.fixture(scope="module")
def sealed(keys, kit, tmp_path_factory):
    """A release sealed with the kit, signed with the PKCS#12 file."""
    return _release(tmp_path_factory.mktemp("sealed") / "release", "--kit", kit, "--pkcs12",
                    keys / "signer.p12", env={**os.environ, "QV_SIGN_PASSWORD": PASSWORD})


# Kits release.sh must refuse: nothing to seal once the sub-folder and setup.exe are left out,
# names that would leave the kit or break the seal's lines, a name that is not UTF-8.
BAD_KITS = {"empty": ["setup.exe", "extras/notes.txt"], "backslash": ["..\\setup.msi"],
            "newline": ["two\nlines.msi"], "latin1": [b"caf\xe9.msi"]}


def _expected_seal(kit):
    """The seal as setup.exe reads it, worked out here rather than by the script."""
    lines = []
    for name in SEALED:
        data = (kit / name).read_bytes()
        lines.append(f"{hashlib.sha256(data).hexdigest()} {len(data)} {name}\n")
    return "".join(lines).encode("utf-8")


def _rcdata(path):
    return {name: data for (kind, name, _), data in peinfo.PeInfo(path).resources.items()
            if kind == RT_RCDATA}


def _verify(path, ca, *extra):
    return _run(["osslsigncode", "verify", "-CAfile", ca, *extra, "-in", path])


def _flipped(signed, folder, where):
    """A copy with one byte changed inside .text or inside the seal: the signature's digest
    covers both."""
    data = bytearray(signed.read_bytes())
    if where == "seal":
        (seal,) = _rcdata(signed).values()
        assert data.count(seal) == 1
        data[data.find(seal)] ^= 0x01
    else:
        text = next(s for s in peinfo.PeInfo(signed).pe.sections if s.Name.startswith(b".text"))
        data[text.PointerToRawData + text.SizeOfRawData // 2] ^= 0x01
    copy = folder / "flipped.exe"
    copy.write_bytes(data)
    return copy


@pytest.mark.parametrize("release, files, kit_line", [
    ("released", [f"{BASE}-unsigned.exe", f"{BASE}.exe"], "not sealed"),
    ("sealed", [f"{BASE}-unsigned.exe", f"{BASE}.exe", f"{BASE}-seal.txt", "kit.json",
                *TOOL_SETTINGS], f"sealed, {len(SEALED)} files ({BASE}-seal.txt)"),
], ids=["unsealed", "sealed"])
def test_release_files(request, kit, release, files, kit_line):
    folder = request.getfixturevalue(release)
    sums = _checked(["sha256sum", "-c", "SHA256SUMS"], cwd=folder).stdout
    assert sums.split() == [word for name in files for word in (f"{name}:", "OK")]
    notes = (folder / f"{BASE}-notes.txt").read_text(encoding="utf-8")
    head = _checked(["git", "rev-parse", "HEAD"], cwd=REPO).stdout.strip()
    for expected in [head, "SOURCE_DATE_EPOCH: ", "i686-w64-mingw32-g++ (GCC)",
                     "GNU ld (GNU Binutils)", "Authenticode SHA-256", f"{BASE}-unsigned.exe",
                     f"\nkit:               {kit_line}\n", "\nacceptance:        acceptance/",
                     f"\nmap:               {BASE}.map",
                     "\nbehaviour change:  exit code 1641 where 0 was"]:
        assert expected in notes
    # The map beside the sums, outside them: the fault guard's own function is named in it.
    assert "OnFault" in (folder / f"{BASE}.map").read_text(encoding="utf-8")
    # The acceptance pass's builds: whatever the release was sealed with, one unsealed and one
    # sealed for the test kit beside it.
    tested = folder / "acceptance" / "pass"
    assert _rcdata(tested / "kit" / "setup.exe") == {}
    assert _rcdata(tested / "sealed" / "setup.exe") == {
        SEAL_ID: make_kit.seal(tested / "sealed").encode("utf-8")}
    unsigned = folder / f"{BASE}-unsigned.exe"
    listed = [line.split(None, 1)[1] for line in notes.splitlines() if line.startswith("seal:")]
    if release == "released":
        # A fresh configure in another folder gives the everyday build's bytes.
        assert unsigned.read_bytes() == (REPO / "build" / "windows" / "setup.exe").read_bytes(), \
            "build/windows/setup.exe is stale, or the release build is not reproducible"
        assert (_rcdata(unsigned), listed) == ({}, [])
        return
    seal = _expected_seal(kit)
    assert (folder / f"{BASE}-seal.txt").read_bytes() == seal
    # The facts deployment rules are written from, in kit.json and the notes alike: the
    # packages setup.exe takes, each platform as its package says.
    packages = []
    for name, platform in (("qv_arm64_kc1_eng.msi", "arm64"), ("qv_x64_kc1_eng.msi", "x64")):
        code = next(line.split("\t")[1] for line in _checked(
            ["msiinfo", "export", kit / name, "Property"]).stdout.splitlines()
            if line.startswith("ProductCode\t"))
        sha = hashlib.sha256((kit / name).read_bytes()).hexdigest()
        packages.append({"file": name, "platform": platform, "level": "kc1", "language": "eng",
                         "ProductCode": code, "sha256": sha})
        assert f"\npackage:           {name} {platform} kc1 eng {code} {sha}\n" in notes
    assert json.loads((folder / "kit.json").read_text()) == {
        "UpgradeCode": make_kit.UPGRADE_CODE, "version": "5.0.9", "packages": packages}
    assert f"\ntool-settings:     tool-settings/, {len(TOOL_SETTINGS)} files, in SHA256SUMS\n" \
        in notes
    assert _rcdata(unsigned) == {SEAL_ID: seal}
    assert listed == seal.decode("utf-8").splitlines()
    # Its other resources are the unsealed program's.
    others = [{key: data for key, data in peinfo.PeInfo(path).resources.items()
               if key[0] != RT_RCDATA} for path in (unsigned, REPO / "build/windows/setup.exe")]
    assert others[0] == others[1]


@pytest.mark.parametrize("release, change, trust, accepted", [
    ("released", "none", "ca", True),
    ("released", "flipped byte in .text", "ca", False),
    ("released", "none", "stranger", False),
    ("released", "signature removed", "ca", False),
    ("sealed", "none", "ca", True),
    ("sealed", "flipped byte in the seal", "ca", False),
])
def test_verification(request, keys, tmp_path, release, change, trust, accepted):
    folder = request.getfixturevalue(release)
    signed = folder / f"{BASE}.exe"
    path = {"none": lambda: signed, "signature removed": lambda: folder / f"{BASE}-unsigned.exe",
            "flipped byte in .text": lambda: _flipped(signed, tmp_path, "text"),
            "flipped byte in the seal": lambda: _flipped(signed, tmp_path, "seal")}[change]()
    result = _verify(path, keys / f"{trust}.pem")
    assert (result.returncode == 0) == accepted, result.stdout + result.stderr


@pytest.mark.parametrize("release", ["released", "sealed"])
def test_signing_changes_nothing_but_the_signature(request, release):
    folder = request.getfixturevalue(release)
    unsigned_path, signed_path = folder / f"{BASE}-unsigned.exe", folder / f"{BASE}.exe"
    unsigned, signed = peinfo.PeInfo(unsigned_path), peinfo.PeInfo(signed_path)
    for read in [lambda p: p.imports(), lambda p: p.delay_imports(), lambda p: p.resources,
                 lambda p: (p.machine, p.subsystem, p.dll_characteristics)]:
        assert read(signed) == read(unsigned)
    # Byte for byte, but for the checksum and the certificate table's directory entry, with the
    # certificate table appended.
    header = unsigned.pe.OPTIONAL_HEADER
    checksum = header.get_field_absolute_offset("CheckSum")
    security = header.DATA_DIRECTORY[4].get_file_offset()
    old, new = unsigned_path.read_bytes(), signed_path.read_bytes()
    changed = {i for i in range(len(old)) if old[i] != new[i]}
    assert changed and changed <= set(range(checksum, checksum + 4)) | set(
        range(security, security + 8))
    assert signed.pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].VirtualAddress == len(old)


@pytest.mark.parametrize("how", ["release.sh with a copy of the kit", "reproduce.sh --notes"])
def test_sealed_again(sealed, kit, tmp_path, how):
    """The seal is a build input like any other: the same commit and kit give the same bytes,
    whatever the kit's folder, its files' order and times, the locale and the umask."""
    unsigned = (sealed / f"{BASE}-unsigned.exe").read_bytes()
    if how == "reproduce.sh --notes":
        # As a customer would check a download: its signature stripped, against the notes.
        stripped = tmp_path / "stripped.exe"
        _checked(["osslsigncode", "remove-signature", "-in", sealed / f"{BASE}.exe", "-out",
                  stripped])
        result = _checked(["bash", REPO / "scripts" / "reproduce.sh", "--notes",
                           sealed / f"{BASE}-notes.txt", stripped])
        sha = hashlib.sha256(unsigned).hexdigest()
        assert f"{sha}  {BASE}-unsigned.exe in " in result.stdout, result.stdout
        assert "sealed" in result.stdout and "reproduce: identical" in result.stdout
        return
    copy = tmp_path / "another kit"
    files = sorted((p for p in kit.rglob("*") if p.is_file()), reverse=True)
    for age, path in enumerate(files):
        target = copy / path.relative_to(kit)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(path.read_bytes())
        os.utime(target, (age * 86400, age * 86400))
    _checked(["bash", "-c", 'umask 077 && exec bash "$0" --kit "$1"',
              REPO / "scripts" / "release.sh", copy], env={**os.environ, "LC_ALL": "ru_RU.UTF-8"})
    seal = f"{BASE}-seal.txt"
    assert (RELEASE / seal).read_bytes() == (sealed / seal).read_bytes()
    assert (RELEASE / f"{BASE}-unsigned.exe").read_bytes() == unsigned


def test_acceptance_pass_under_wine(released, prefix):
    """The release's acceptance pass as on a disposable Windows: every row Wine can run passes,
    the others are skipped with their reason, and it leaves nothing it added. Without
    /disposable it refuses and changes nothing."""
    shutil.copytree(released / "acceptance", prefix.drive_c / "QuorvaneAcceptance")
    runner = ["cscript", "//nologo", r"C:\QuorvaneAcceptance\pass\acceptance.js"]
    results = prefix.drive_c / "QuorvaneAcceptance" / "results"
    refused = prefix.wine(runner)
    assert (refused.returncode, b"REFUSED: " in refused.stdout) == (255, True)
    assert list(results.iterdir()) == []
    # What the pass finds is what it leaves: a marker with values of any type, and a product of
    # its kit installed before, which it removes first and names.
    for value in (["Written", "REG_SZ", "2099"], ["Other", "REG_DWORD", "7"]):
        prefix.wine(["reg", "add", MARKER, "/v", value[0], "/t", value[1], "/d", value[2], "/f"],
                    check=True)
    marker = prefix.reg_query(MARKER).values
    old = r"C:\QuorvaneAcceptance\pass\old\qv_x64_kc2_rus.msi"
    assert prefix.msiexec("/i", old, "/qn") == 0

    done = prefix.wine([*runner, "/disposable"], timeout=900)
    rows = [line.split(" ", 2) for line in
            (results / "acceptance-report.txt").read_text().splitlines()
            if line.split(" ", 1)[0] in ("PASS", "FAIL", "SKIPPED")]
    assert [" ".join(row) for row in rows if row[0] == "FAIL"] == []
    assert done.returncode == 0
    skipped = ["zone-checks-off:", "detect-ps1-absent:", "detect-ps1-present:",
               "system-task-unseen:"]
    assert [row[1] for row in rows if row[0] == "SKIPPED"] == skipped
    assert all(row[2] for row in rows)  # the reason, or what was wanted and came
    suite = ElementTree.parse(results / "acceptance.xml").getroot()
    assert [suite.get(k) for k in ("tests", "failures", "skipped")] == [str(len(rows)), "0", "4"]
    for outcome, name, _ in rows:
        # A setup.exe run leaves its log, a command its output.
        ran = any((results / f"{name[:-1]}{ext}").exists() for ext in (".log", ".txt"))
        assert ran == (outcome != "SKIPPED"), name

    kit = (prefix.drive_c / "QuorvaneAcceptance" / "pass" / "kit.txt").read_text().splitlines()
    prints = {line.split()[1] for line in kit if len(line.split()) == 3}
    stores = set(prefix.root_certificates()) | set(prefix.ca_certificates())
    assert (prefix.related_products(), stores & prints, prefix.reg_query(MARKER).values) == \
        ([], set(), marker)
    assert "removed before the first row: qv_x64_kc2_rus.msi 5.0.9" in \
        (results / "acceptance-report.txt").read_text()
    left = ["windows/temp/QuorvaneAcceptance", "windows/temp/QuorvaneAcceptanceMarker.reg",
            "ordo_tool.log", "ordo_tool_exit.txt", "ks.log"]
    assert [name for name in left if (prefix.drive_c / name).exists()] == []


def test_signed_setup_installs_under_wine(released, prefix):
    package = Package("qv_x64_kc1_eng.msi")
    prefix.add_packages(package)
    shutil.copy2(released / f"{BASE}.exe", prefix.kit / "setup.exe")
    assert prefix.setup(["-silent", "-noreboot"]) == 0
    assert prefix.product_state(package.product_code) == 5


@pytest.mark.parametrize("key, check", [
    (["--pkcs11", TOKEN_URI], None),  # the token's certificate, through p11-kit's proxy
    (["--pkcs11", TOKEN_URI, "--pkcs11-module", SOFTHSM, "--certs", "{keys}/signer.pem"], None),
    (["--pkcs12", "{keys}/signer.p12", "--timestamp", "{tsa}"],
     "Timestamp Server Signature verification: ok"),
], ids=["pkcs11-token-certificate", "pkcs11-module-and-certificate-file", "pkcs12-timestamp"])
def test_sign_with(released, keys, token, tsa, tmp_path, key, check):
    password = PIN if "--pkcs11" in key else PASSWORD
    args = [a.format(keys=keys, tsa=tsa) for a in key]
    out = tmp_path / "signed.exe"
    _checked(["bash", REPO / "scripts" / "sign.sh", *args, released / f"{BASE}-unsigned.exe", out],
             env={**token, "QV_SIGN_PASSWORD": password})
    result = _verify(out, keys / "ca.pem", "-TSA-CAfile", keys / "ca.pem")
    assert result.returncode == 0, result.stdout + result.stderr
    assert check is None or check in result.stdout


@pytest.mark.parametrize("script, args, password, code, message", [
    ("release", ["--pkcs12"], PASSWORD, 2, "--pkcs12 needs a value"),
    ("release", ["--sign"], PASSWORD, 2, "unknown option --sign"),
    ("release", ["--pkcs12", "{keys}/signer.p12", "--pkcs11", TOKEN_URI], PASSWORD, 2,
     "exclude each other"),
    ("release", ["--timestamp", "http://127.0.0.1:9/"], PASSWORD, 2, "no key"),
    ("release", ["--certs", "{keys}/signer.pem"], PASSWORD, 2, "no key"),
    ("release", ["--pkcs11", "token=qv-release"], PIN, 2, "takes a pkcs11: URI"),
    ("release", ["--pkcs12", "{keys}/missing.p12"], PASSWORD, 1, "cannot read"),
    ("release", ["--pkcs12", "{keys}/signer.p12"], None, 1, "set QV_SIGN_PASSWORD"),
    ("release", ["--pkcs12", "{keys}/signer.p12"], PASSWORD, 2, "only a sealed build is signed"),
    ("release", ["--kit"], None, 2, "--kit needs a folder"),
    ("release", ["--kit", "{tmp}/empty", "--unsealed"], None, 2, "exclude each other"),
    ("release", ["--kit", "{tmp}/missing"], None, 1, "no folder"),
    ("release", ["--kit", "{tmp}/empty"], None, 1, "no file to seal"),
    ("release", ["--kit", "{tmp}/backslash"], None, 1, "no Windows file name"),
    ("release", ["--kit", "{tmp}/newline"], None, 1, "no Windows file name"),
    ("release", ["--kit", "{tmp}/latin1"], None, 1, "not UTF-8"),
    ("release", ["--kit", str(RELEASE / "cmake")], None, 1, "inside build/release"),
    ("sign", ["--pkcs12", "{keys}/signer.p12", "{unsigned}", "{out}"], "wrong", 1, "PKCS#12"),
    ("sign", ["--pkcs11", TOKEN_URI, "{unsigned}", "{out}"], "0000", 1, "private key"),
    ("sign", ["--pkcs12", "{keys}/signer.p12", "{unsigned}", "{unsigned}"], PASSWORD, 2,
     "one file"),
    ("reproduce", ["--notes"], None, 2, "usage: scripts/reproduce.sh"),
    ("reproduce", ["--notes", "{keys}/ca.pem"], None, 1, "gives no SHA-256"),
    ("reproduce", ["--notes", "{tmp}/changed-notes.txt"], None, 1, "the notes were changed"),
])
def test_refused(released, sealed, keys, token, tmp_path, script, args, password, code, message):
    """Bad usage fails before any build, and so do a kit that cannot be sealed and notes whose
    seal lines were changed; a key that does not open writes no signed file."""
    out = tmp_path / "signed.exe"
    unsigned = tmp_path / "unsigned.exe"
    shutil.copy2(released / f"{BASE}-unsigned.exe", unsigned)
    for folder, names in BAD_KITS.items():
        for name in names:
            path = os.path.join(os.fsencode(tmp_path / folder), os.fsencode(name))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "wb").close()
    notes = (sealed / f"{BASE}-notes.txt").read_text(encoding="utf-8")
    assert " 0 empty.dat\n" in notes
    (tmp_path / "changed-notes.txt").write_text(notes.replace(" 0 empty.dat\n", " 1 empty.dat\n"),
                                                encoding="utf-8")
    before = {p.name: p.read_bytes() for p in RELEASE.iterdir() if p.is_file()}
    env = {k: v for k, v in token.items() if k != "QV_SIGN_PASSWORD"}
    if password is not None:
        env["QV_SIGN_PASSWORD"] = password
    result = _run(["bash", REPO / "scripts" / f"{script}.sh",
                   *[a.format(keys=keys, unsigned=unsigned, out=out, tmp=tmp_path) for a in args]],
                  env=env, timeout=30)
    assert (result.returncode, message in result.stderr) == (code, True), result.stderr
    assert code != 2 or "usage:" in result.stderr
    assert not out.exists()
    assert unsigned.read_bytes() == (released / f"{BASE}-unsigned.exe").read_bytes()
    # A refused release leaves the last one alone.
    assert {p.name: p.read_bytes() for p in RELEASE.iterdir() if p.is_file()} == before


# --- scripts/setup.sh ------------------------------------------------------------------------

STUB = """#!/bin/bash
echo "$(basename "$0") $*" >>"$STUB_LOG"
case "$(basename "$0")" in
  id) echo "$STUB_UID" ;;
  dpkg-query) [ "$3" != "$STUB_MISSING" ] && echo "install ok installed" ;;
  dpkg) echo i386 ;;
  # A pause between lines: a reader that quits at the first match makes the second write fail.
  locale) echo en_US.utf8; sleep 0.2; echo ru_RU.utf8 ;;
  sudo) exec "$@" ;;
esac
exit 0
"""


@pytest.mark.parametrize("uid, sudo, missing, code, calls", [
    (0, False, "osslsigncode", 0, ["apt-get update -qq", "apt-get install -y -qq "
                                   "--no-install-recommends osslsigncode"]),
    (1000, True, "osslsigncode", 0, ["sudo apt-get update -qq", "apt-get update -qq",
                                     "sudo env DEBIAN_FRONTEND=noninteractive apt-get install "
                                     "-y -qq --no-install-recommends osslsigncode",
                                     "apt-get install -y -qq --no-install-recommends osslsigncode"]),
    (1000, False, "osslsigncode", 1, []),
    (1000, False, "", 0, []),
], ids=["root-without-sudo", "user-through-sudo", "user-without-sudo", "user-nothing-to-do"])
def test_setup_installs_as_root_or_through_sudo(tmp_path, uid, sudo, missing, code, calls):
    """The package tools are stand-ins that log their calls; so is sudo, where there is one."""
    bin_ = tmp_path / "bin"
    bin_.mkdir()
    # Everything that could change the machine is a stand-in, even for a run that goes astray.
    stubs = ["id", "dpkg-query", "dpkg", "apt-get", "locale", "locale-gen", "sed", "tee"]
    for name in stubs + (["sudo"] if sudo else []):
        (bin_ / name).write_text(STUB)
        (bin_ / name).chmod(0o755)
    for tool in ["bash", "env", "grep", "basename"]:
        (bin_ / tool).symlink_to(shutil.which(tool))
    log = tmp_path / "calls"
    log.touch()
    result = _run(["bash", REPO / "scripts" / "setup.sh"],
                  env={"PATH": str(bin_), "STUB_LOG": str(log), "STUB_UID": str(uid),
                       "STUB_MISSING": missing})
    assert result.returncode == code, result.stderr
    made = [line for line in log.read_text().splitlines()
            if line.split()[0] in ("apt-get", "sudo", "locale-gen")]
    assert made == calls
    assert code == 0 or "needs root: run this as root once, or install sudo" in result.stderr
