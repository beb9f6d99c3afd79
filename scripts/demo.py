#!/usr/bin/env python3
"""Shows setup.exe at work under Wine on a generated kit and reports what happened: the usage
text, a missing package, a fresh installation with certificates, an upgrade and a repeat run,
and the setup log of the upgrade."""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import wine  # noqa: E402  (first: it puts tests/kit and scripts on the path)
import exit_codes  # noqa: E402
import make_kit  # noqa: E402
from make_kit import Package  # noqa: E402

MEANING = exit_codes.meanings()


def say(text=""):
    print(text, flush=True)


def outcome(code):
    return f"exit {exit_codes.code_text(code)} ({MEANING.get(code, 'passed through')})"


def show_product(prefix, code):
    state = prefix.product_state(code)
    if state != 5:
        say(f"    product {code}: not installed")
        return
    say(f"    product {code}: installed, version {prefix.product_info(code, 'VersionString')}, "
        f"from {prefix.package_name(code)}")


def main():
    work = Path(tempfile.mkdtemp(prefix="qv-demo-"))
    cache = wine.PrefixCache()
    wine.copy_prefix(cache.pristine("win64-en"), work / "prefix")
    prefix = wine.Prefix(work / "prefix", "win64-en", None)
    try:
        certificates = make_kit.make_certificates(work / "certificates")
        say(f"setup.exe: {wine.SETUP_EXE} ({wine.SETUP_EXE.stat().st_size} bytes)")
        say(f"Wine prefix (64-bit, English): {prefix.path}")
        say()

        say("1. setup.exe -silent -help")
        say(f"    {outcome(prefix.setup(['-silent', '-help']))}")
        say("2. setup.exe -silent -kc   (a value option without its value)")
        say(f"    {outcome(prefix.setup(['-silent', '-kc']))}")
        say("3. setup.exe -silent   in a folder without packages")
        say(f"    {outcome(prefix.setup(['-silent']))}")
        say()

        old = [Package(n, version="5.0.9") for n in
               ("qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_eng.msi")]
        prefix.add_packages(*old)
        prefix.add_certificates(Path(work / "certificates"))
        say("4. Kit 5.0.9: " + ", ".join(p.file_name for p in old)
            + f" and {len(certificates) + 1} certificate files")
        say("   setup.exe -silent -root -noreboot -kc kc2 -lang rus")
        say(f"    {outcome(prefix.setup(['-silent', '-root', '-noreboot', '-kc', 'kc2', '-lang', 'rus']))}")
        show_product(prefix, old[0].product_code)
        for line in prefix.ordo_tool_log():
            say(f"    initialisation tool ran: {line}")
        stores = {"Root": set(prefix.root_certificates()), "CA": set(prefix.ca_certificates())}
        for name, prints in sorted(certificates.items()):
            for p in prints:
                found = [store for store, members in stores.items() if p in members]
                say(f"    {name}: {p} in {' and '.join(found) or 'no store'}")
        say()

        say("5. The same kit again: setup.exe -silent")
        say(f"    {outcome(prefix.setup(['-silent']))}")
        say()

        for p in old:
            (prefix.kit / p.file_name).unlink()
        new = [Package(n, version="5.0.10") for n in
               ("qv_x64_kc1_eng.msi", "qv_x64_kc2_rus.msi", "qv_x64_kc3_eng.msi")]
        prefix.add_packages(*new)
        say("6. Kit 5.0.10 (another product code) over the installed 5.0.9 KC2 Russian:")
        say("   setup.exe -silent -noreboot   (level and language come from the installed product)")
        say(f"    {outcome(prefix.setup(['-silent', '-noreboot']))}")
        show_product(prefix, old[0].product_code)
        show_product(prefix, new[0].product_code)
        say(f"    initialisation tool runs so far: {len(prefix.ordo_tool_log())}")
        marker = prefix.reg_exists(r"HKCU\Software\NeedBstrReboot")
        say(f"    pending-restart marker: {'present' if marker else 'absent'}")
        say()
        say("7. What setup.exe logged of that run (its log in the temporary folder):")
        for line in prefix.setup_log().splitlines():
            say(f"    {line}")
    finally:
        prefix.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
