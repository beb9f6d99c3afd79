#!/usr/bin/env python3
"""setup.exe's exit codes as src/common/ExitCodes.def lists them, for the scripts and the tests.

    python3 scripts/exit_codes.py --readme   prints the README's exit-code table
"""
import argparse
import re
from pathlib import Path
from typing import Dict, List, NamedTuple, Optional

DEF = Path(__file__).resolve().parents[1] / "src" / "common" / "ExitCodes.def"


class ExitCode(NamedTuple):
    code: int
    name: Optional[str]  # the C++ name; None for a code passed through
    meaning: str
    action: str

    @property
    def passed(self) -> bool:
        return self.name is None


_STRING = r'((?:"(?:[^"\\\n]|\\.)*"\s*)+)'  # adjacent literals, as C joins them
_ROW = re.compile(r"QV_(EXIT|PASSED)_CODE\(\s*(0[xX][0-9A-Fa-f]+|\d+)\s*,"
                  r"(?:\s*(k\w+)\s*,)?\s*" + _STRING + r",\s*" + _STRING + r"\)[ \t]*(?://.*)?$",
                  re.M)
_START = re.compile(r"^QV_(?:EXIT|PASSED)_CODE\(", re.M)
_LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')


def _text(literals: str) -> str:
    return "".join(re.sub(r"\\(.)", r"\1", part) for part in _LITERAL.findall(literals))


def parse(text: str) -> List[ExitCode]:
    """The rows in their order. A row that does not parse is an error, never a row less."""
    text = re.sub(r"^\s*//.*$", "", text, flags=re.M)
    rows = []
    for start in _START.finditer(text):
        m = _ROW.match(text, start.start())
        if not m:
            line = text[start.start():].splitlines()[0]
            raise ValueError(f"a row that does not parse: {line!r}")
        kind, code, name = m.group(1), int(m.group(2), 0), m.group(3)
        if (kind == "EXIT") != (name is not None):
            raise ValueError(f"{m.group(0).strip()!r}: QV_EXIT_CODE takes a name, "
                             "QV_PASSED_CODE none")
        rows.append(ExitCode(code, name, _text(m.group(4)), _text(m.group(5))))
    for field in ("code", "name"):
        values = [getattr(r, field) for r in rows if getattr(r, field) is not None]
        twice = sorted({v for v in values if values.count(v) > 1}, key=str)
        if twice:
            raise ValueError(f"{field} given twice: {twice}")
    return rows


def table(path: Path = DEF) -> List[ExitCode]:
    return parse(path.read_text(encoding="utf-8"))


def meanings(path: Path = DEF) -> Dict[int, str]:
    return {row.code: row.meaning for row in table(path)}


def code_text(code: int) -> str:
    """As setup.exe writes a code in its log: HRESULTs in hexadecimal."""
    return f"0x{code:08X}" if code >= 0x80000000 else str(code)


def readme_row(row: ExitCode) -> str:
    return f"| {code_text(row.code)} | {row.meaning[:1].upper()}{row.meaning[1:]} | {row.action} |"


README_HEADER = ["| Exit code | Meaning | What a deployment tool should do |", "|---|---|---|"]


def readme_table(path: Path = DEF) -> List[str]:
    """The README's table without its last row, "other", which the README words itself."""
    return README_HEADER + [readme_row(row) for row in table(path)]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--readme", action="store_true", help="print the README's table")
    args = parser.parse_args()
    for line in (readme_table() if args.readme else
                 [f"{code_text(r.code)}\t{r.name or '(passed through)'}\t{r.meaning}"
                  for r in table()]):
        print(line)


if __name__ == "__main__":
    main()
