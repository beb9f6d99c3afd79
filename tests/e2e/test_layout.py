"""The source tree's dependencies point one way: app -> driver -> actions, reboot, ui -> packages
-> platform -> common, and only app builds the Win32 platform. Only the Win32 adapters see
Windows headers. Every folder, sub-folders included, is checked."""
import re
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[2] / "src"
LOWER = {"common": set(), "platform": {"common"}, "platform/win32": {"platform", "common"}}
LOWER["packages"] = {"platform", "common"}
for layer in ("actions", "reboot", "ui"):
    LOWER[layer] = {"packages", "platform", "common"}
LOWER["driver"] = {"actions", "reboot", "ui", "packages", "platform", "common"}
LOWER["app"] = {"driver", "platform/win32", "platform", "common"}
LOCAL = re.compile(r'^#include "([\w/]+)/[\w.]+"', re.M)
SYSTEM = re.compile(r"^#include <(windows|msi|msiquery|wincrypt|shellapi|shlobj)\.h>", re.M)


def _folders():
    return sorted({p.parent.relative_to(SRC).as_posix() for p in SRC.rglob("*.[ch]*")})


def test_every_folder_has_its_place():
    assert set(_folders()) == set(LOWER)


@pytest.mark.parametrize("folder", sorted(LOWER))
def test_includes_point_one_way(folder):
    for source in sorted((SRC / folder).glob("*.[ch]*")):
        text = source.read_text()
        reached = set(LOCAL.findall(text)) - {folder}
        assert reached <= LOWER[folder], f"{folder}/{source.name} includes {reached - LOWER[folder]}"
        if folder != "platform/win32":
            assert not SYSTEM.search(text), f"{source.name} includes a Windows header"
