"""setup.exe under Wine: its command line, exit codes, error boxes in both languages, the platform
choice, identification of the installed product, and DLLs planted beside it."""
import shutil

import pytest

import wine
from make_kit import Package

pytestmark = pytest.mark.needs_setup

USAGE = ("-help\tprint this help\n-lang\tselect package language (eng/rus)\n"
         "-kc\tselect Quorvane CSP KC-Level (kc1/kc2/kc3)\n"
         "-args\tspecify arguments for msiexec /i in quotes\n"
         "-log\twrite the setup log to the given file or folder\n"
         "-tooltimeout\ttool time limit (600 s)\n-reinstall\treinstall product\n"
         "-repair\trepair the product\n-uninstall\tremove the product\n"
         "-whatif\tshow what would be done, do nothing\n"
         "-silent\tdo not display any user interface\n"
         "\t(if same version already installed and reinstall not specified, do nothing)\n")
IDOK = 1


def _box_text(text):
    # Static controls hand back CR LF for the line feeds of the text.
    return text.replace("\r\n", "\n")


@pytest.mark.parametrize("args, code", [
    (["-help"], 0), (["--help"], 0), (["/help"], 0),
    (["/?"], 0), (["-bogus"], 1639), (["-kc"], 1639),
])
def test_usage_box_then_exit_code(prefix, args, code):
    run = prefix.start_setup(args)
    text, buttons = prefix.message_box("Help")
    assert _box_text(text).rstrip("\n") == USAGE.rstrip("\n")
    assert buttons == [IDOK]
    prefix.answer("Help", "IDOK")
    assert run.wait() == code


def test_command_line_is_split_as_windows_splits_it(prefix):
    """setup.exe splits its own command line; CommandLineToArgvW judges, over the fuzz seeds,
    the corpus a fuzzing run left, and generated lines."""
    folders = [wine.REPO / "tests" / "fuzz" / "corpus" / "options",
               wine.BUILD / "fuzz" / "run" / "options" / "corpus"]
    args = ["Z:" + str(f).replace("/", "\\") for f in folders if f.is_dir()]
    result = prefix.wine([str(wine.KIT_BIN / "argv_diff.exe"), *args], timeout=120)
    out = result.stdout.decode("utf-8", errors="replace")
    assert result.returncode == 0 and " 0 split differently" in out, out[-3000:]


@pytest.mark.parametrize("args, code", [
    (["-silent", "-help"], 0), (["-silent", "-bogus"], 1639), (["-silent", "-lang"], 1639),
])
def test_silent_usage_shows_nothing(prefix, args, code):
    # A box would hold the run until someone answered it: ending by itself is the proof.
    assert prefix.setup(args, timeout=20) == code


@pytest.mark.parametrize("prefix, caption, text", [
    ("win64-en", "Error", "Can not find ProductCode of msi package."),
    ("win64-ru", "Ошибка", "Невозможно найти ProductCode msi-пакета."),
], indirect=["prefix"])
def test_missing_package_box_in_the_ui_language(prefix, caption, text):
    run = prefix.start_setup(["-lang", "rus"])  # the package language never picks the texts
    assert prefix.message_box(caption) == (text, [IDOK])
    prefix.answer(caption, "IDOK")
    assert run.wait() == 2


def test_only_the_other_platform_gives_file_not_found(make_prefix):
    prefix = make_prefix("win32-en")
    prefix.add_packages(Package("a_x64_kc1_eng.msi"), Package("b_x64_kc2_rus.msi"))
    assert prefix.setup(["-silent"]) == 2
    assert prefix.ordo_tool_log() == []


def test_planted_installer_dlls_are_never_loaded(prefix, certificates):
    prefix.add_packages(Package("qv_x64_kc1_eng.msi"))
    prefix.add_certificates(certificates[0])
    prefix.plant("msi.dll", "crypt32.dll")
    prefix.prefer_native("msi.dll", "crypt32.dll")
    assert prefix.setup(["-silent", "-noreboot", "-root"]) == 0
    assert prefix.planted_log() == []
    # The control: a program beside them that imports msi.dll the ordinary way loads the plant.
    shutil.copy2(prefix.tools / "msiquery.exe", prefix.kit / "msiquery.exe")
    prefix.run([r"C:\kit\msiquery.exe", "state", "{00000000-0000-0000-0000-000000000000}"])
    assert any("msi.dll" in line.lower() for line in prefix.planted_log())
