"""The settings dialog in a real window under Wine, in English and Russian."""
import os
import shutil
import subprocess

import pytest

import make_kit
import wine
from make_kit import Package

pytestmark = pytest.mark.needs_setup

CAPTION = "RADAvovu"
WELCOME = {2, 118, 1011, 1014, 1015}
SETTINGS = {2, 118, 1006, 1007, 1008, 1009, 1010, 1012, 1013, 1015}
TEXTS = {
    "win64-en": {"welcome": ("Settings", "Install", "Cancel"), "settings": ("Hide", "Next"),
                 "radios": ("Russian", "English")},
    "win64-ru": {"welcome": ("Опции", "Установить", "Отмена"), "settings": ("Скрыть", "Далее"),
                 "radios": ("Русский", "English")},
}
# Written into docs/ when asked, so the README shows the real window.
DOCS = wine.REPO / "docs"


def _kit(prefix, version="5.0.9", code=None):
    names = ["qv_x64_kc1_eng.msi", "qv_x64_kc1_rus.msi", "qv_x64_kc2_rus.msi",
             "qv_x64_kc3_eng.msi"]
    packages = [Package(n, version=version, product_code=code, trace_ui=True) for n in names]
    prefix.add_packages(*packages)
    return packages[0].product_code


def _view(prefix):
    controls = {c["id"]: c for c in prefix.dump(CAPTION)["controls"]}
    return {i for i, c in controls.items() if c["visible"]}, controls


def _installed(prefix):
    """(file name, UILevel) of each installation msiexec ran."""
    return [tuple(line.split()[2:0:-1]) for line in prefix.read_lines(make_kit.INSTALL_LOG)]


def _shoot(prefix, name):
    if not os.environ.get("QV_WRITE_DOCS"):
        return
    shot = prefix.screenshot()
    DOCS.mkdir(exist_ok=True)
    # The dialog alone: trim the desktop around it.
    subprocess.run(["convert", str(shot), "-fuzz", "3%", "-trim", "+repage",
                    str(DOCS / f"dialog-{name}.png")], check=True)


@pytest.mark.parametrize("prefix", ["win64-en", "win64-ru"], indirect=True)
def test_views_texts_and_preselection(prefix):
    texts = TEXTS[prefix.kind]
    _kit(prefix)
    run = prefix.start_setup()
    visible, controls = _view(prefix)
    assert visible == WELCOME
    assert (controls[1015]["text"], controls[118]["text"], controls[2]["text"]) == texts["welcome"]
    assert "Quorvane CSP" in controls[1014]["text"]
    assert (controls[1006]["text"], controls[1007]["text"]) == texts["radios"]
    russian_system = prefix.kind == "win64-ru"
    assert (controls[1006]["checked"], controls[1007]["checked"]) == (
        (1, 0) if russian_system else (0, 1))
    assert [controls[i]["checked"] for i in (1008, 1009, 1010)] == [1, 0, 0]
    _shoot(prefix, f"welcome-{prefix.kind[-2:]}")

    prefix.click(CAPTION, 1015)
    visible, controls = _view(prefix)
    assert visible == SETTINGS
    assert (controls[1015]["text"], controls[118]["text"]) == texts["settings"]
    _shoot(prefix, f"settings-{prefix.kind[-2:]}")

    prefix.click(CAPTION, 1015)
    visible, controls = _view(prefix)
    assert visible == WELCOME
    assert (controls[1015]["text"], controls[118]["text"]) == texts["welcome"][:2]

    prefix.click(CAPTION, 118)
    assert run.wait(120) == 0
    language = "rus" if russian_system else "eng"
    assert _installed(prefix) == [(f"qv_x64_kc1_{language}.msi", "3")]  # "/qb": basic


@pytest.mark.parametrize("clicks, installed", [
    ([1015, 1010, 118], ("qv_x64_kc3_eng.msi", "5")),  # Next: no "/qb"
    ([1015, 1010, 1015, 118], ("qv_x64_kc3_eng.msi", "3")),  # Hide, then Install
    ([1015, 1009, 1006, 118], ("qv_x64_kc2_rus.msi", "5")),
])
def test_choices_reach_the_installer(prefix, clicks, installed):
    _kit(prefix)
    run = prefix.start_setup()
    for control in clicks:
        prefix.click(CAPTION, control)
    assert run.wait(120) == 0
    assert _installed(prefix) == [installed]


@pytest.mark.parametrize("how", ["cancel", "escape", "close"])
def test_cancel_installs_nothing(prefix, how):
    code = _kit(prefix)
    run = prefix.start_setup()
    assert prefix.wait_window(CAPTION)
    if how == "cancel":
        prefix.click(CAPTION, 2)
    elif how == "escape":
        prefix.key(CAPTION, "escape")
    else:
        prefix.close(CAPTION)
    assert run.wait() == 0
    assert prefix.product_state(code) == -1
    assert prefix.read_lines(make_kit.INSTALL_LOG) == []
    assert prefix.ordo_tool_log() == []


def test_upgrade_opens_preset_to_the_installed_product(prefix):
    old = Package("qv_x64_kc2_rus.msi", version="5.0.9",
                  product_code="{0A11CE00-0000-4000-8000-000000000509}")
    make_kit.build_package(old, prefix.drive_c / "old")
    assert prefix.msiexec("/i", r"C:\old\qv_x64_kc2_rus.msi", "/qn") == 0
    code = _kit(prefix, version="5.0.10")
    run = prefix.start_setup()
    _, controls = _view(prefix)
    assert [controls[i]["checked"] for i in (1006, 1007, 1008, 1009, 1010)] == [1, 0, 0, 1, 0]
    prefix.click(CAPTION, 118)
    assert run.wait(120) == 0
    assert _installed(prefix) == [("qv_x64_kc2_rus.msi", "3")]
    assert prefix.related_products() == [code]


def test_any_argument_means_no_dialog(prefix):
    _kit(prefix)
    assert prefix.setup(["-noreboot"], timeout=60) == 0
    assert _installed(prefix) == [("qv_x64_kc1_eng.msi", "5")]
