#!/usr/bin/env python3
"""Writes the acceptance pass that ships with a release (scripts/release.sh calls it):

    make_acceptance.py OUT --setup SETUP_EXE --tool ordo_tool.exe --driver ui_driver.exe

OUT/pass/ holds the runner, kit.txt (what the runner checks against), the test kit with the
unsealed setup.exe in kit/ and old/, tools/ (the doubles and deploy/'s detection scripts);
OUT/results/ is where the report goes. sealed/ is
left without its setup.exe: the caller builds one with the seal of sealed/ as it is here.
Packages and certificates are made anew each time, so no two passes are byte-identical."""
import argparse
import shutil
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "kit"))
import make_kit  # noqa: E402

# Never the real product's name: Programs and Features shows this one.
NAME = "Quorvane CSP Acceptance Test"
VERSION, OLD = "5.0.10", "5.0.9"
# The certificate files and the kit's certificate each holds. The store each belongs in is Wine's
# (make_kit.CERTIFICATE_STORES), unless make_kit.WINDOWS_STORES says Windows 10 and 11 differ: the
# last three are of algorithms that Wine's 32-bit crypt32 cannot check.
CERTIFICATES = {"root.cer": "root", "intermediate.crt": "intermediate", "leaf.cer": "leaf",
                "ed25519_root.cer": "ed25519_root", "brainpool_ca.cer": "brainpool_ca",
                "pss_root.crt": "pss_root"}
# deploy/'s detection scripts, run before and after an installation.
DEPLOY = HERE.parents[1] / "deploy"


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path)
    for option in ("--setup", "--tool", "--driver"):
        parser.add_argument(option, type=Path, required=True)
    args = parser.parse_args(argv)
    shutil.rmtree(args.out, ignore_errors=True)
    root = args.out / "pass"
    (args.out / "results").mkdir(parents=True)
    kits = {"kit": make_kit.variants(VERSION, name=NAME),
            "old": [make_kit.Package(f"qv_{p}_kc2_rus.msi", version=OLD, name=NAME)
                    for p in ("x64", "win32")],
            "sealed": [make_kit.Package(f"qv_{p}_kc1_eng.msi", version=VERSION, name=NAME)
                       for p in ("x64", "win32")]}
    for folder, packages in kits.items():
        for package in packages:
            make_kit.build_package(package, root / folder, args.tool)
    with tempfile.TemporaryDirectory(prefix="acceptance-") as work:
        prints = make_kit.make_certificates(Path(work))
        for name in CERTIFICATES:
            for folder in ("kit", "sealed"):
                shutil.copy2(Path(work) / name, root / folder / name)
    for folder in ("kit", "old"):
        shutil.copy2(args.setup, root / folder / "setup.exe")
    (root / "tools").mkdir()
    shutil.copy2(args.tool, root / "tools" / "ordo_tool.exe")
    shutil.copy2(args.driver, root / "tools" / "ui_driver.exe")
    for script in ("detect.js", "detect.ps1"):
        shutil.copy2(DEPLOY / script, root / "tools" / script)
    shutil.copy2(HERE / "acceptance.js", root / "acceptance.js")
    for name in ("acceptance.wsb", "README.txt"):
        shutil.copy2(HERE / name, args.out / name)
    lines = [f"upgrade {make_kit.UPGRADE_CODE}", f"version {VERSION}", f"old {OLD}"]
    for name, member in CERTIFICATES.items():
        wine = make_kit.CERTIFICATE_STORES[member] or "none"
        store = make_kit.WINDOWS_STORES.get(member, (wine,))[0]
        lines.append(f"{store} {prints[name][0]} {name}" + (f" {wine}" if wine != store else ""))
    (root / "kit.txt").write_text("\r\n".join(lines) + "\r\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
