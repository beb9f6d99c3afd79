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

MESSAGES = {  # id: (English, Russian)
    101: ("Installer must run as administrator.",
          "Программа установки должна быть запущена от имени администратора."),
    102: ("This version of %s already installed. Reinstall?",
          "Эта версия %s уже установлена. Переустановить?"),
    103: ("A newer version of %s already installed.",
          "Более новая версия %s уже установлена."),
    104: ("Can not find msi package.",
          "Невозможно найти msi-пакет."),
    105: ("Can not get full path for msi package.",
          "Невозможно найти полный путь установленного msi-пакета."),
    106: ("Can not get version of installed msi package.",
          "Невозможно узнать версию установленного msi-пакета."),
    107: ("Can not get size of version of installed msi package",
          "Невозможно узнать длину версии установленного msi-пакета."),
    108: ("Can not open new msi package.",
          "Невозможно открыть новый msi-пакет."),
    109: ("Can not get version of new msi package.",
          "Невозможно узнать версию нового msi-пакета."),
    110: ("Can not get installed package path.",
          "Невозможно узнать путь до установленного msi-пакета."),
    111: ("Can not get size of installed package path.",
          "Невозможно узнать длину пути до установленного msi-пакета."),
    112: ("Can not get property ISReleaseFlags of new msi package.",
          "Невозможно узнать свойство ISReleaseFlags нового msi-пакета."),
    113: ("Can not get property ProductLanguage of new msi package.",
          "Невозможно узнать свойство ProductLanguage нового msi-пакета."),
    114: ("Update", "Обновление"),
    115: ("Error", "Ошибка"),
    116: ("Hide", "Скрыть"),
    117: ("Settings", "Опции"),
    118: ("Next", "Далее"),
    119: ("Installed version of Quorvane CSP 3.6 is too old.\n"
          "For install remove it from Add/Remove Programs and run installer again.",
          "Установленная версия Quorvane CSP 3.6 слишком старая для обновления.\n"
          "Для установки удалите её из Add/Remove Programs и запустите установку заново."),
    120: ("Install", "Установить"),
    121: ("To complete the installation reboot is required. Reboot now?",
          "Для завершения установки необходима перезагрузка. Произвести перезагрузку сейчас?"),
    122: ("Can not find ProductCode of msi package.",
          "Невозможно найти ProductCode msi-пакета."),
    123: ("Warning", "Предупреждение"),
    124: ("Old and new packages have different KC-level or language parameters. "
          "Recommend using same parameters.",
          "Старые и новые пакеты имеют разные параметры KC-уровня или языка. "
          "Рекомендуется использовать те же параметры."),
    125: ("Can not restart the computer. Restart it manually to complete the installation.",
          "Невозможно перезагрузить компьютер. Перезагрузите его вручную, "
          "чтобы завершить установку."),
    126: ("Another installation is in progress. Wait for it to finish and try again.",
          "Выполняется другая установка. Дождитесь её завершения и повторите попытку."),
}

WELCOME = {
    EN: ["www.quorvane.example", "",
         "Thank you for choosing Quorvane CSP.",
         'Press "Install" to continue or',
         '"Settings" for specific settings.',
         'Press "Install" if you hesitate.'],
    RU: ["www.quorvane.example", "",
         "Благодарим за выбор Quorvane CSP.",
         'Для выполнения установки нажмите "Установить",',
         'для установки расширенных настроек - "Опции".',
         'Если вы не знаете, что выбирать, нажмите "Установить".'],
}

CONTROLS = [  # id, class, style, (x, y, width, height), English, Russian; in template order
    (118, "button", 0x50010001, (90, 122, 50, 14), "Install", "Установить"),
    (2, "button", 0x50010000, (147, 122, 50, 14), "Cancel", "Отмена"),
    (1006, "button", 0x40020009, (14, 20, 42, 8), "Russian", "Русский"),
    (1007, "button", 0x40000009, (14, 32, 42, 8), "English", "English"),
    (1008, "button", 0x40020009, (14, 69, 30, 8), "KC1", "KC1"),
    (1009, "button", 0x40000009, (14, 82, 30, 8), "KC2", "KC2"),
    (1010, "button", 0x40000009, (14, 94, 30, 8), "KC3", "KC3"),
    (1012, "button", 0x40000007, (6, 6, 191, 44), "Installation language:", "Язык установки:"),
    (1013, "button", 0x40000007, (6, 55, 191, 54), "Security level:", "Уровень безопасности:"),
    (1011, "button", 0x50000007, (6, 6, 191, 103),
     "Quorvane — keys you can trust", "Quorvane — ключи, которым можно доверять"),
    (1015, "button", 0x50010000, (7, 122, 50, 14), "Settings", "Опции"),
    (1014, "static", 0x50020000, (15, 28, 174, 74),
     "\r\n".join(WELCOME[EN]), "\r\n".join(WELCOME[RU])),
]
RUSSIAN_RECTS = {1006: (12, 20, 42, 8), 1007: (12, 32, 42, 8)}

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
    (RT_STRING, {7, 8}, {EN, RU}),
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


@pytest.mark.parametrize("lang, column", [(EN, 0), (RU, 1)], ids=["en", "ru"])
def test_catalogue(pe, lang, column):
    assert pe.strings(lang) == {id_: texts[column] for id_, texts in MESSAGES.items()}


@pytest.mark.parametrize("lang", [EN, RU], ids=["en", "ru"])
def test_dialog_frame(pe, lang):
    dialog = pe.dialog(102, lang)
    assert (dialog.style, dialog.exstyle, dialog.rect[2:]) == (0x80C808C8, 0x100, (204, 143))
    assert dialog.font == (8, 400, 0, 1, "MS Shell Dlg")
    assert (dialog.caption, dialog.menu, dialog.cls) == ("RADAvovu", "", "")


@pytest.mark.parametrize("lang", [EN, RU], ids=["en", "ru"])
def test_dialog_controls(pe, lang):
    expected = [peinfo.Control(id_, cls, style, 0,
                               RUSSIAN_RECTS.get(id_, rect) if lang == RU else rect,
                               en if lang == EN else ru)
                for id_, cls, style, rect, en, ru in CONTROLS]
    assert pe.dialog(102, lang).controls == expected


@pytest.mark.parametrize("lang", [EN, RU], ids=["en", "ru"])
def test_dialog_labels_agree_with_catalogue(pe, lang):
    """The dialog tells its views apart by comparing button labels with messages 117 and 120,
    read back through buffers of 10 and 20 code units."""
    strings = pe.strings(lang)
    texts = {c.id: c.text for c in pe.dialog(102, lang).controls}
    assert (texts[1015], texts[118]) == (strings[117], strings[120])
    assert max(len(strings[i]) for i in (116, 117)) <= 9
    assert max(len(strings[i]) for i in (118, 120)) <= 19


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
