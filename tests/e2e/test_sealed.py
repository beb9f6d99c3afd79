"""A sealed kit under Wine: setup.exe built with the kit's seal uses only the files the seal lists,
each as sealed, and holds them open while it uses them. A file it uses that is not as sealed stops
the run before anything changes, with 0x80091007."""
import shutil
import time
import subprocess

import pytest

import make_kit
from make_kit import Package

pytestmark = pytest.mark.needs_setup

CODE = "{0A11CE00-0000-4000-8000-000000000510}"
CHANGED = 0x80091007  # CRYPT_E_HASH_VALUE
MARKER = r"HKCU\Software\NeedBstrReboot"
PLANTED = "v1_root.cer"  # a root the seal does not list


@pytest.fixture(scope="module")
def sealed_kit(tmp_path_factory, sealed_setup, certificates):
    """(folder, sealed setup.exe): KC1 English with its cabinet beside it, KC2 Russian with its
    cabinet inside, KC3 English that reads its files uncompressed from beside it, the certificate
    files but one."""
    folder = tmp_path_factory.mktemp("sealed-kit")
    make_kit.build_package(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=CODE,
                                   external_cabinet="qv_x64_kc1_eng.cab"), folder)
    make_kit.build_package(Package("qv_x64_kc2_rus.msi", version="5.0.10", product_code=CODE),
                           folder)
    loose = make_kit.build_package(Package("qv_x64_kc3_eng.msi", version="5.0.10",
                                           product_code=CODE), folder)
    subprocess.run(["msibuild", str(loose), "-q", "UPDATE `File` SET `Attributes`=8192"],
                   check=True)
    make_kit.copy_certificates(certificates[0], folder)
    (folder / PLANTED).unlink()  # kept out of the seal, to be planted
    return folder, sealed_setup(folder), certificates[0]


def _copy_kit(prefix, sealed_kit):
    folder, setup, certificates = sealed_kit
    for item in folder.iterdir():
        shutil.copy2(item, prefix.kit / item.name)
    shutil.copy2(setup, prefix.kit / "setup.exe")
    shutil.copy2(certificates / PLANTED, prefix.path / PLANTED)


def _flip(path):
    data = bytearray(path.read_bytes())
    data[len(data) // 2] ^= 0x01
    path.write_bytes(bytes(data))


def _swap_cabinet(prefix):
    """The cabinet of another build of the package, same name, same size or not: its payload
    would be installed."""
    other = prefix.path / "other"
    make_kit.build_package(Package("qv_x64_kc1_eng.msi", version="5.0.10", product_code=CODE,
                                   external_cabinet="qv_x64_kc1_eng.cab", name="Swapped"), other)
    shutil.copy2(other / "qv_x64_kc1_eng.cab", prefix.kit / "qv_x64_kc1_eng.cab")


def _plant(prefix):
    make_kit.build_package(Package("aaa_x64_kc1_eng.msi", version="9.9.9",
                                   upgrade_code="{0A11CE00-1111-4000-8000-0000000000AA}"),
                           prefix.kit)
    shutil.copy2(prefix.path / PLANTED, prefix.kit / "000_planted.cer")


DIFFERS = " differs: sealed size "
CASES = {
    "as-sealed": ([], ["-kc", "kc1"], 0, None),
    "swapped-external-cabinet": ([_swap_cabinet], ["-kc", "kc1"], CHANGED,
                                 "qv_x64_kc1_eng.cab" + DIFFERS),
    "package-installed-changed": ([lambda p: _flip(p.kit / "qv_x64_kc2_rus.msi")],
                                  ["-kc", "kc2", "-lang", "rus"], CHANGED,
                                  "qv_x64_kc2_rus.msi" + DIFFERS),
    # The platform package names the product: read, so checked, whatever is installed.
    "platform-package-changed": ([lambda p: _flip(p.kit / "qv_x64_kc1_eng.msi")],
                                 ["-kc", "kc2", "-lang", "rus"], CHANGED,
                                 "qv_x64_kc1_eng.msi" + DIFFERS),
    "certificate-changed": ([lambda p: _flip(p.kit / "root.crt")], ["-kc", "kc1"], CHANGED,
                            "root.crt" + DIFFERS),
    "certificate-missing": ([lambda p: (p.kit / "intermediate.crt").unlink()], ["-kc", "kc1"],
                            CHANGED, "intermediate.crt cannot be read (2)"),
    # The seal names no sub-folder: a package that reads files from beside it is refused.
    "package-reads-loose-files": ([], ["-kc", "kc3"], CHANGED,
                                  r"C:\kit\qv_x64_kc3_eng.msi reads "),
    "planted-package-and-certificate": ([_plant], ["-kc", "kc1"], 0, None),
    # A sealed file this run does not use may be missing: a kit trimmed to one language.
    "unused-file-missing": ([lambda p: (p.kit / "qv_x64_kc2_rus.msi").unlink()], ["-kc", "kc1"],
                            0, None),
}


@pytest.mark.parametrize("arrange, args, code, changed", CASES.values(), ids=CASES.keys())
def test_sealed_kit(prefix, sealed_kit, certificates, arrange, args, code, changed):
    _copy_kit(prefix, sealed_kit)
    for step in arrange:
        step(prefix)
    prefix.certstore("list")
    before = set(prefix.root_certificates())
    assert prefix.setup(["-silent", "-noreboot", "-root", *args]) == code
    log = prefix.setup_log()
    assert "kit sealed: " in log
    if changed:
        assert prefix.product_state(CODE) == -1
        assert set(prefix.root_certificates()) == before
        assert f"error: seal: {changed}" in log
        assert "decision: the kit's files are not as sealed; nothing done" in log
        assert "exit code 0x80091007: " in log
    else:
        assert prefix.product_state(CODE) == 5
        assert prefix.package_name(CODE) == (f"qv_x64_{args[1]}_eng.msi")
        assert "Swapped" not in (prefix.product_info(CODE, "ProductName") or "")
        assert set(certificates[1]["root.cer"]) <= set(prefix.root_certificates())
    if arrange and arrange[0] is _plant:
        assert "warning: seal: aaa_x64_kc1_eng.msi is not in the kit's seal; ignored" in log
        assert "warning: seal: 000_planted.cer is not in the kit's seal; ignored" in log
        assert not set(certificates[1][PLANTED]) & set(prefix.root_certificates())


def test_refusal_is_told_in_a_box(prefix, sealed_kit):
    _copy_kit(prefix, sealed_kit)
    _flip(prefix.kit / "qv_x64_kc1_eng.cab")
    run = prefix.start_setup(["-kc", "kc1", "-noreboot"])
    assert prefix.message_box("Error")[0] == (
        "The installation files have been changed or damaged: qv_x64_kc1_eng.cab. "
        "Get the kit again from its publisher.")
    prefix.answer("Error", "IDOK")
    assert run.wait() == CHANGED


def test_checked_files_cannot_be_changed_while_in_use(prefix, sealed_kit):
    """Held from its check to the end of the run, shared for reading only: another Windows
    process can neither write nor rename the package, and msiexec installs from it as usual."""
    _copy_kit(prefix, sealed_kit)
    prefix.set_ordo_tool_exit("hang")  # the run waits in the tool, after msiexec
    run = prefix.start_setup(["-silent", "-noreboot", "-kc", "kc1"])
    deadline = 60
    start = time.monotonic()
    while not prefix.ordo_tool_log():
        assert time.monotonic() - start < deadline, "the tool never started"
        time.sleep(0.2)
    for package in ("qv_x64_kc1_eng.msi", "qv_x64_kc1_eng.cab"):
        size = (prefix.kit / package).stat().st_size
        # Wine's cmd reports the sharing violation but still exits 0: judge by the file.
        prefix.wine(["cmd", "/c", f"echo x>> C:\\kit\\{package}"])
        assert (prefix.kit / package).stat().st_size == size, package
        prefix.wine(["cmd", "/c", f"move C:\\kit\\{package} C:\\kit\\moved"])
        assert not (prefix.kit / "moved").exists(), package
    prefix.wine(["taskkill", "/f", "/im", "ordo_tool.exe"], check=True)
    assert run.wait() == 0
    assert prefix.product_state(CODE) == 5
    # Let go: now it can be changed.
    size = (prefix.kit / "qv_x64_kc1_eng.msi").stat().st_size
    prefix.wine(["cmd", "/c", r"echo x>> C:\kit\qv_x64_kc1_eng.msi"])
    assert (prefix.kit / "qv_x64_kc1_eng.msi").stat().st_size > size
