"""The source tree's dependencies point one way: driver -> actions, reboot, ui -> packages ->
platform -> common. Only the Win32 adapters see Windows headers."""
import re
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[2] / "src"
ALLOWED = {
    "common": {"common"},
    "platform": {"platform", "common"},
    "packages": {"packages", "platform", "common"},
    "actions": {"actions", "packages", "platform", "common"},
    "reboot": {"reboot", "packages", "platform", "common"},
    "ui": {"ui", "packages", "platform", "common"},
    "driver": {"driver", "actions", "reboot", "ui", "packages", "platform", "common"},
}
LOCAL = re.compile(r'^#include "(\w+)/', re.M)
SYSTEM = re.compile(r"^#include <(windows|msi|msiquery|wincrypt|shellapi|shlobj)\.h>", re.M)


@pytest.mark.parametrize("folder", sorted(ALLOWED))
def test_includes_point_one_way(folder):
    for source in sorted((SRC / folder).glob("*.[ch]*")):
        text = source.read_text()
        assert set(LOCAL.findall(text)) <= ALLOWED[folder], source.name
        assert not SYSTEM.search(text), f"{source.name} includes a Windows header"
