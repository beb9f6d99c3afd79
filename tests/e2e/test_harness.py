"""The proving ground itself, without setup.exe: kit packages install and leave their traces,
the helpers see and drive what runs in a prefix, and copies leave the pristine prefix alone."""
import subprocess

import pytest

import make_kit
from make_kit import Package

PROGRAM_FILES = "C:\\Program Files\\Quorvane Test\\lib\\"
PROGRAM_FILES_X86 = "C:\\Program Files (x86)\\Quorvane Test\\lib\\"
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
MB_OK, MB_OKCANCEL, MB_YESNO = 0, 1, 4


def _table(msi, name):
    out = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True, text=True,
                         check=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


@pytest.mark.parametrize("package, properties, sequence", [
    (Package("qv_x64_kc2_rus.msi", name="Кворвейн CSP"),
     {"ProductLanguage": "1049", "ISReleaseFlags": "kc2,", "ProductVersion": "5.0.9",
      "ProductName": "Кворвейн CSP"},
     {"KSProcess": 'REMOVE="ALL"', "KSProcess64": 'REMOVE="ALL"'}),
    (Package("any_win32_eng.msi", release_flags=None, ks_actions={"KSProcess64": ""}),
     {"ProductLanguage": "1033", "ISReleaseFlags": None},
     {"KSProcess": None, "KSProcess64": ""}),
    (Package("qv_x64_kc1_eng.msi", release_flags="qvrmcsp", no_product_code=True),
     {"ISReleaseFlags": "qvrmcsp", "ProductCode": None}, {}),
])
def test_package_tables(tmp_path, kit_helpers, package, properties, sequence):
    msi = make_kit.build_package(package, tmp_path)
    props = dict(row[:2] for row in _table(msi, "Property"))
    for name, value in properties.items():
        assert props.get(name) == value, name
    rows = {row[0]: row[1] for row in _table(msi, "InstallExecuteSequence")}
    for action, condition in sequence.items():
        assert rows.get(action) == condition, action
    actions = {row[0]: row for row in _table(msi, "CustomAction")}
    for action in package.ks_actions:
        assert actions[action][1:3] == [str(make_kit.CA_EXE_IGNORE), "TARGETDIR"]


@pytest.mark.parametrize("prefix, platform, folder", [
    ("win64-en", "x64", PROGRAM_FILES),
    ("win64-en", "win32", PROGRAM_FILES_X86),
    ("win32-en", "win32", PROGRAM_FILES),
], indirect=["prefix"])
def test_package_installs_tool_and_runs_ks_actions_on_removal(prefix, prefix_cache, platform,
                                                              folder):
    package = Package(f"qv_{platform}_kc2_rus.msi", name="Кворвейн CSP")
    assert package.tool_folder(prefix.win64) == folder
    prefix.add_packages(package)
    code = package.product_code

    assert prefix.msiexec("/i", rf"C:\kit\{package.file_name}", "/qn") == 0
    assert prefix.product_state(code) == 5
    assert prefix.product_info(code, "VersionString") == "5.0.9"
    assert prefix.product_info(code, "ProductName") == "Кворвейн CSP"
    assert prefix.package_name(code) == package.file_name
    assert prefix.related_products() == [code]
    assert prefix.host(prefix.product_info(code, "LocalPackage")).is_file()
    assert prefix.component(code) == (3, folder + "ordo_tool.exe")

    # Started as the bootstrapper starts it: folder unquoted despite its blanks. Wine then
    # quotes the program's path in the command line the child sees; Windows would not.
    prefix.set_ordo_tool_exit(3010)
    assert prefix.run(folder + "ordo_tool.exe /init") == 3010
    assert prefix.ordo_tool_log() == [f'"{folder}ordo_tool.exe" /init']

    assert prefix.ks_log() == []
    assert prefix.msiexec("/x", code, "/qn") == 0
    assert prefix.ks_log() == ["KSProcess 5.0.9", "KSProcess64 5.0.9"]
    assert prefix.product_state(code) == -1
    assert not prefix.host(folder + "ordo_tool.exe").exists()
    assert prefix_cache.modified_since_built(prefix.kind) == []


def test_ks_actions_show_the_upgrading_product(prefix):
    old = Package("qv_x64_kc2_rus.msi")
    new = Package("qv_x64_kc2_rus_new.msi", version="5.0.10")
    prefix.add_packages(old, new)

    assert prefix.msiexec("/i", r"C:\kit\qv_x64_kc2_rus.msi", "/qn") == 0
    assert prefix.msiexec("/x", old.product_code, f"UPGRADINGPRODUCTCODE={new.product_code}",
                          "/qn") == 0
    assert prefix.ks_log() == [f"KSProcess 5.0.9 {new.product_code}",
                               f"KSProcess64 5.0.9 {new.product_code}"]

    # A major upgrade removes the old product, running its actions.
    assert prefix.msiexec("/i", r"C:\kit\qv_x64_kc2_rus.msi", "/qn") == 0
    assert prefix.msiexec("/i", r"C:\kit\qv_x64_kc2_rus_new.msi", "/qn") == 0
    assert prefix.related_products() == [new.product_code]
    assert [line.split()[:2] for line in prefix.ks_log()[2:]] == [
        ["KSProcess", "5.0.9"], ["KSProcess64", "5.0.9"]]


@pytest.mark.parametrize("prefix, package, result, installed", [
    ("win64-en", Package("fail_x64.msi", fail=True), 1603, False),
    ("win64-en", Package("reboot_x64.msi", reboot=True), 3010, True),
    ("win64-en", Package("garbage_x64.msi", garbage=True), "failure", False),
    ("win32-en", Package("qv_x64_kc1_eng.msi"), "failure", False),
], indirect=["prefix"])
def test_package_outcomes(prefix, package, result, installed):
    prefix.add_packages(package)
    code = prefix.msiexec("/i", rf"C:\kit\{package.file_name}", "/qn", "REBOOT=R")
    assert code != 0 if result == "failure" else code == result
    assert (prefix.product_state(package.product_code) == 5) == installed
    # A failure mid-way rolls the installed files back.
    assert prefix.host(PROGRAM_FILES + "ordo_tool.exe").exists() == installed


@pytest.mark.parametrize("prefix", ["win64-ru"], indirect=True)
def test_ui_driver_reads_and_answers_message_boxes(prefix):
    caption, text = "Ошибка", 'Первая строка\nLine "two"'
    cases = [  # box type, driver action, its argument, buttons, the box's answer
        (MB_YESNO, "answer", "IDNO", [IDYES, IDNO], IDNO),
        (MB_YESNO, "answer", "IDYES", [IDYES, IDNO], IDYES),
        (MB_OKCANCEL, "key", "escape", [IDOK, IDCANCEL], IDCANCEL),
        (MB_OKCANCEL, "close", None, [IDOK, IDCANCEL], IDCANCEL),
        (MB_OK, "key", "enter", [IDOK], IDOK),
    ]
    for box_type, action, argument, buttons, answer in cases:
        box = prefix.start([r"C:\tools\ui_driver.exe", "msgbox", caption, text, str(box_type)])
        assert prefix.message_box(caption) == (text, buttons)
        if box_type == MB_YESNO:  # the prefix's language reaches the system's own texts
            labels = [c["text"] for c in prefix.dump(caption)["controls"] if c["id"] in buttons]
            assert labels == ["&Да", "&Нет"]
        getattr(prefix, action)(caption, *([argument] if argument else []))
        assert box.wait(15) == answer, (box_type, action, argument)
        assert prefix.wait_gone(caption, 2000)

    assert not prefix.wait_window("no such window", 100)
    with pytest.raises(Exception, match="not found"):
        prefix.dump("no such window", 100)


def test_screenshot_shows_the_desktop(prefix):
    # A virtual desktop draws the frames and captions that no X window manager would.
    desktop = prefix.reg_query(r"HKCU\Software\Wine\Explorer").values["Desktop"]
    assert desktop == ("REG_SZ", "Default")
    box = prefix.start([r"C:\tools\ui_driver.exe", "msgbox", "Shot", "x"])
    assert prefix.wait_window("Shot")
    shot = prefix.screenshot()
    assert shot.stat().st_size > 1000
    prefix.answer("Shot", "IDOK")
    assert box.wait(15) == IDOK


@pytest.mark.parametrize("planted, native_first, runner, loaded", [
    # Wine prefers its own msi.dll to one beside the program unless told otherwise, so a test
    # that a planted DLL stays unloaded proves something only with the override.
    ("msi.dll", False, r"C:\kit\msiquery.exe products", False),
    ("msi.dll", True, r"C:\kit\msiquery.exe products", True),
    # A program's own folder comes first in the search for a command's program.
    ("msiexec.exe", False, r'C:\kit\ui_driver.exe exec "msiexec /qn"', True),
])
def test_planted_files(prefix, kit_helpers, planted, native_first, runner, loaded):
    prefix.plant(planted)
    for helper in ("msiquery.exe", "ui_driver.exe"):
        (prefix.kit / helper).write_bytes((kit_helpers / helper).read_bytes())
    if native_first:
        prefix.prefer_native(planted)
    prefix.run(runner)
    log = prefix.planted_log()
    assert bool(log) == loaded, log
    if loaded:
        assert log[0].lower().startswith("c:\\kit\\" + planted)


def test_certificate_files_import_into_root_store(prefix, certificates):
    folder, prints = certificates
    prefix.add_certificates(folder)
    for name, expected in [("root.cer", 1), ("leaf.crt", 1), ("bundle.p7b", 3)]:
        result = prefix.certstore("add", "C:\\kit\\" + name)
        assert (result.returncode, result.stdout.strip()) == (0, f"added {expected}"), name
    assert prefix.certstore("add", r"C:\kit\broken.cer").returncode == 3

    wanted = set(prints["bundle.p7b"])
    assert len(wanted) == 3
    assert wanted <= set(prefix.root_certificates())
    assert wanted <= set(prefix.certstore("list").stdout.split())
