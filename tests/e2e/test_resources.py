"""The built setup.exe's headers, imports and resources, read back from the file itself."""

import os
import re
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

pytest.importorskip("pefile")
import peinfo  # noqa: E402
from peinfo import RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_STRING, RT_VERSION  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
EXE = Path(os.environ.get("SETUP_EXE") or REPO / "build" / "windows" / "setup.exe")
# The one place the version is written.
VERSION = re.search(r"^project\(\w+ VERSION ([0-9.]+)", (REPO / "CMakeLists.txt").read_text(),
                    re.M).group(1)

EN, RU = 1033, 1049

# The catalogue's message ids and the dialog's control ids, as the code names them.
MESSAGE_IDS = {int(n) for n in re.findall(r"kMsg\w+ = (\d+),",
                                           (REPO / "src/common/MessageIds.h").read_text())}
CONTROL_IDS = {int(n) for n in re.findall(r"k(?:Button|Radio|Group|Text)\w+ = (\d+),",
                                           (REPO / "src/ui/SettingsDialog.h").read_text())}

ICON_IMAGES = sorted((size, size, bpp) for size in (48, 32, 24, 16) for bpp in (8, 32))

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                "ole32.dll", "msvcrt.dll", "comctl32.dll"}
# A delay-loaded DLL is resolved only after wWinMain has limited the search to system32.
DELAY_LOADABLE = ALLOWED_DLLS | {"msi.dll", "crypt32.dll"}

COMMON_CONTROLS = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                   "version": "6.0.0.0", "processorArchitecture": "*", "language": "*",
                   "publicKeyToken": "6595b64144ccf1df"}
NS = {"asm": "urn:schemas-microsoft-com:asm.v1",
      "asm3": "urn:schemas-microsoft-com:asm.v3",
      "compat": "urn:schemas-microsoft-com:compatibility.v1",
      "dpi": "http://schemas.microsoft.com/SMI/2005/WindowsSettings"}


@pytest.fixture(scope="module")
def pe():
    if not EXE.is_file():
        pytest.skip(f"{EXE} is not built (set SETUP_EXE to test another file)")
    return peinfo.PeInfo(EXE)


@pytest.mark.parametrize("read, expected", [
    pytest.param(lambda p: p.machine, 0x14C, id="i386"),
    pytest.param(lambda p: p.subsystem, 2, id="gui"),
    pytest.param(lambda p: p.dll_characteristics & 0x40, 0x40, id="aslr"),
    pytest.param(lambda p: p.dll_characteristics & 0x100, 0x100, id="nx"),
    # Microsoft's /TSAWARE page: an aware program writes nothing to HKCU during setup, and the
    # restart marker is HKCU's (README, "On a Remote Desktop Session Host").
    pytest.param(lambda p: p.dll_characteristics & 0x8000, 0, id="not-terminal-server-aware"),
])
def test_header(pe, read, expected):
    assert read(pe) == expected


def test_imports_only_dlls_windows_loads_from_system32(pe):
    imports = {name.lower() for name in pe.imports()}
    assert "kernel32.dll" in imports
    assert imports <= ALLOWED_DLLS, f"planted-DLL risk: {sorted(imports - ALLOWED_DLLS)}"
    delayed = {name.lower() for name in pe.delay_imports()}
    assert delayed <= DELAY_LOADABLE, sorted(delayed - DELAY_LOADABLE)


@pytest.mark.parametrize("rtype, names, langs", [
    (RT_STRING, {7, 8, 9}, {EN, RU}),
    (RT_DIALOG, {102}, {EN, RU}),
    (RT_GROUP_ICON, {100}, None),
    (RT_MANIFEST, {1}, None),
    (RT_VERSION, {1}, None),
], ids=["strings", "dialog", "icon", "manifest", "version"])
def test_resource_directory(pe, rtype, names, langs):
    """Each localised resource in exactly the two languages; the others once, in any language."""
    keys = pe.keys(rtype)
    if langs is None:
        assert len(keys) == 1 and {name for name, _ in keys} == names
    else:
        assert keys == {(name, lang) for name in names for lang in langs}


def test_catalogue_speaks_both_languages(pe):
    """Every message the code names, in both languages, with the same placeholders."""
    english, russian = pe.strings(EN), pe.strings(RU)
    assert set(english) == set(russian) == MESSAGE_IDS
    for id_ in MESSAGE_IDS:
        assert english[id_] and russian[id_], id_
        assert english[id_].count("%s") == russian[id_].count("%s"), id_


@pytest.mark.parametrize("lang", [EN, RU], ids=["en", "ru"])
def test_dialog_frame(pe, lang):
    dialog = pe.dialog(102, lang)
    assert (dialog.style, dialog.exstyle, dialog.rect[2:]) == (0x80C808C8, 0x100, (204, 143))
    assert dialog.font == (8, 400, 0, 1, "MS Shell Dlg")
    assert (dialog.caption, dialog.menu, dialog.cls) == ("RADAvovu", "", "")


def test_dialog_controls_in_both_languages(pe):
    """The same controls, in the same template (tab) order, with the same classes and styles; the
    settings hidden, the welcome view shown."""
    english, russian = (pe.dialog(102, lang).controls for lang in (EN, RU))
    assert [(c.id, c.cls, c.style) for c in english] == [(c.id, c.cls, c.style) for c in russian]
    assert {c.id for c in english} == CONTROL_IDS
    visible = {c.id for c in english if c.style & 0x10000000}
    assert visible == {118, 2, 1011, 1014, 1015}
    assert all(c.text for c in english + russian if c.id != 1014)


def test_icon_group(pe):
    group = pe.icon_group(100)
    assert sorted((e.width, e.height, e.bpp) for e in group) == ICON_IMAGES
    # The group directory must describe the images it points at, and point at all of them.
    assert [pe.icon_image(e.image_id) for e in group] == [(e.width, e.height, e.bpp)
                                                           for e in group]
    assert {name for name, _ in pe.keys(RT_ICON)} == {e.image_id for e in group}


@pytest.mark.parametrize("path, expected", [
    ("{*}trustInfo/{*}security/{*}requestedPrivileges/{*}requestedExecutionLevel",
     [{"level": "requireAdministrator", "uiAccess": "false"}]),
    ("asm:dependency/asm:dependentAssembly/asm:assemblyIdentity", [COMMON_CONTROLS]),
    # Vista, 7, 8, 8.1, 10/11
    ("compat:compatibility/compat:application/compat:supportedOS",
     [{"Id": "{e2011457-1546-43c5-a5fe-008deee3d3f0}"},
      {"Id": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
      {"Id": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
      {"Id": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
      {"Id": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}]),
], ids=["elevation", "common-controls", "supported-os"])
def test_manifest(pe, path, expected):
    root = ET.fromstring(pe.resource(RT_MANIFEST, 1))
    assert root.tag == "{%s}assembly" % NS["asm"]
    assert [el.attrib for el in root.findall(path, NS)] == expected


def test_manifest_declares_system_dpi_awareness(pe):
    root = ET.fromstring(pe.resource(RT_MANIFEST, 1))
    aware = root.findall("asm3:application/asm3:windowsSettings/dpi:dpiAware", NS)
    assert [el.text for el in aware] == ["true"]


@pytest.mark.parametrize("table, description", [
    ("040904B0", "Quorvane CSP Setup"),
    ("041904B0", "Установка Quorvane CSP"),
], ids=["en", "ru"])
def test_version_info(pe, table, description):
    numbers = tuple(int(n) for n in VERSION.split("."))
    assert (pe.fixed_version("File"), pe.fixed_version("Product")) == (numbers, numbers)
    strings = pe.version_strings()[table]
    assert (strings["FileVersion"], strings["ProductVersion"]) == (VERSION, VERSION)
    assert strings["FileDescription"] == description
    assert (strings["ProductName"], strings["CompanyName"], strings["OriginalFilename"]) == (
        "Quorvane CSP", "Quorvane", "setup.exe")
