#!/usr/bin/env python3
"""The facts of a kit that administrators write deployment rules from: kit_facts.py KIT JSON
writes JSON and prints the same table for a release's notes. The packages are the .msi files whose
names carry a platform token, as setup.exe takes them; others (a prerequisite) are not the product.
Each package is read with msitools: its platform from the summary's Template; its level and
language from its name as setup.exe reads them (the first kc1..kc3; eng before rus), or else from
ISReleaseFlags and ProductLanguage."""
import hashlib
import json
import re
import subprocess
import sys
from pathlib import Path

PLATFORM_TOKEN = re.compile(r"x64|win32|arm64")
TEMPLATE_PLATFORMS = {"x64": "x64", "arm64": "arm64"}  # anything else (Intel) is 32-bit
# ISReleaseFlags tokens setup.exe maps to a level, in its order.
FLAG_LEVELS = [("kc1,", "kc1"), ("kc2,", "kc2"), ("kc3,", "kc3"), ("qvrmcsp", "kc2"),
               ("qvcspi", "kc1")]


def msiinfo(*args: str) -> str:
    return subprocess.run(["msiinfo", *args], check=True, capture_output=True,
                          text=True).stdout


def package(path: Path) -> dict:
    rows = msiinfo("export", str(path), "Property").splitlines()[3:]
    properties = dict(row.split("\t", 1) for row in rows if "\t" in row)
    template = re.search(r"^Template: ([^;\n]*)", msiinfo("suminfo", str(path)), re.M)
    kind = template.group(1).strip().lower() if template else ""
    lower = path.name.lower()
    level = re.search(r"kc[1-3]", lower)
    flags = properties.get("ISReleaseFlags", "")
    language = "eng" if "eng" in lower else "rus" if "rus" in lower else None
    return {
        "file": path.name,
        "platform": TEMPLATE_PLATFORMS.get(kind, "win32"),
        "level": level.group(0) if level else next((v for k, v in FLAG_LEVELS if k in flags), None),
        "language": language or ("eng" if properties.get("ProductLanguage") == "1033" else "rus"),
        "ProductCode": properties["ProductCode"],
        "sha256": hashlib.sha256(path.read_bytes()).hexdigest(),
        "_upgrade": properties["UpgradeCode"],
        "_version": properties["ProductVersion"],
    }


def main() -> int:
    kit, out = Path(sys.argv[1]), Path(sys.argv[2])
    packages = [package(p) for p in sorted(kit.iterdir())
                if p.suffix.lower() == ".msi" and PLATFORM_TOKEN.search(p.name.lower())]
    if not packages:
        sys.exit(f"kit_facts: no .msi with a platform token (x64, win32, arm64) in {kit}")
    for key in ("_upgrade", "_version"):
        if len({p[key] for p in packages}) != 1:
            sys.exit(f"kit_facts: the packages of {kit} differ in {key[1:]}")
    facts = {"UpgradeCode": packages[0]["_upgrade"], "version": packages[0]["_version"],
             "packages": [{k: v for k, v in p.items() if not k.startswith("_")}
                          for p in packages]}
    out.write_text(json.dumps(facts, indent=2) + "\n", encoding="utf-8")
    print(f"UpgradeCode:       {facts['UpgradeCode']}")
    print(f"version:           {facts['version']}")
    for p in facts["packages"]:
        print(f"package:           {p['file']} {p['platform']} {p['level'] or '-'} "
              f"{p['language']} {p['ProductCode']} {p['sha256']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
