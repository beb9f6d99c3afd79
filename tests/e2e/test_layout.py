"""Each folder is a phase of a run or what the phases share, and includes only the folders its row
allows: model holds plain types; decide is pure; detect reads, apply acts, driver tells the run,
and only app builds the Win32 platform. Only the Win32 adapters see Windows headers. Every
folder, sub-folders included, is checked. The README's exit codes are ExitCodes.def's."""
import itertools
import re
import sys
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[2] / "src"
sys.path.insert(0, str(SRC.parent / "scripts"))
import exit_codes  # noqa: E402

ALLOWED = {
    "common": set(),
    "model": {"common"},
    "platform": {"model", "common"},
    "platform/win32": {"platform", "model", "common"},
    "decide": {"model", "common"},
    "ui": {"model", "platform", "common"},
    # detect only reads; the actions read through it what they change
    "detect": {"decide", "model", "platform", "common"},
    "journal": {"model", "platform", "common"},
    "apply": {"journal", "detect", "decide", "model", "platform", "common"},
    "driver": {"apply", "journal", "detect", "decide", "ui", "model", "platform", "common"},
    "app": {"driver", "platform/win32", "platform", "common"},
}
LOCAL = re.compile(r'^#include "([\w/]+)/[\w.]+"', re.M)
SYSTEM = re.compile(r"^#include <(windows|msi|msiquery|wincrypt|shellapi|shlobj)\.h>", re.M)


def _folders():
    return sorted({p.parent.relative_to(SRC).as_posix() for p in SRC.rglob("*.[ch]*")})


def test_every_folder_has_its_place():
    assert set(_folders()) == set(ALLOWED)


@pytest.mark.parametrize("folder", sorted(ALLOWED))
def test_includes_are_the_allowed_ones(folder):
    for source in sorted((SRC / folder).glob("*.[ch]*")):
        text = source.read_text()
        reached = set(LOCAL.findall(text)) - {folder}
        assert reached <= ALLOWED[folder], f"{folder}/{source.name} includes {reached - ALLOWED[folder]}"
        if folder != "platform/win32":
            assert not SYSTEM.search(text), f"{source.name} includes a Windows header"


# --- the shape: short files, short functions, one header a name ------------------------------

STRIP = re.compile(r'//.*|"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def _functions(text):
    """(first line, lines) of each function body: a brace that follows a parenthesis outside
    any other function; namespaces, classes and blocks inside functions are not functions."""
    stack, head = [], ""
    for number, line in enumerate(text.splitlines(), 1):
        for ch in STRIP.sub('""', line):
            if ch == "{":
                kind = "block"
                if "function" not in (k for k, _ in stack) and re.search(
                        r"\)\s*(const|override|noexcept|final|\s)*(:.*)?$", head.strip()) and \
                        not re.search(r"\b(namespace|class|struct|enum|union)\b", head):
                    kind = "function"
                stack.append((kind, number))
                head = ""
            elif ch == "}":
                kind, start = stack.pop()
                if kind == "function":
                    yield start, number - start + 1
                head = ""
            elif ch == ";":
                head = ""
            else:
                head += ch
        head += " "


def _sources():
    return sorted(SRC.rglob("*.[ch]*"))


@pytest.mark.parametrize("text, lengths", [
    ("namespace qv {\nint F(int a) {\n  if (a) {\n    return 1;\n  }\n  return 0;\n}\n}\n",
     [(2, 6)]),
    ("class C {\n  C() : a_(1) {}\n  void G() const {\n    auto f = [] { return '{'; };\n  }\n};\n",
     [(2, 1), (3, 3)]),
    ('int H() {\n  const char* s = "}}";  // }\n  return 0;\n}\nstruct S { int x; };\n',
     [(1, 4)]),
])
def test_functions_are_measured(text, lengths):
    assert list(_functions(text)) == lengths


def test_files_and_functions_are_short():
    long_files, long_functions = [], []
    for source in _sources():
        text = source.read_text()
        name = source.relative_to(SRC).as_posix()
        if sum(1 for line in text.splitlines() if line.strip()) > 400:
            long_files.append(name)
        long_functions += [f"{name}:{start} ({length} lines)"
                           for start, length in _functions(text) if length > 60]
    assert long_files == [], "more than 400 non-blank lines"
    assert long_functions == [], "functions of more than 60 lines"


def test_no_header_name_twice():
    names = [source.name for source in _sources() if source.suffix == ".h"]
    assert sorted({n for n in names if names.count(n) > 1}) == []


# --- the exit codes: ExitCodes.def against the README's table ---------------------------------

README = SRC.parent / "README.md"


def _readme_exit_table():
    lines = README.read_text(encoding="utf-8").splitlines()
    start = lines.index(exit_codes.README_HEADER[0])
    return list(itertools.takewhile(lambda line: line.startswith("|"), lines[start:]))


def test_readme_exit_codes_are_the_tables():
    readme = _readme_exit_table()
    assert readme[-1].startswith("| other |"), "the README's table ends with the other codes"
    ours = {line.split("|")[1].strip(): line for line in exit_codes.readme_table()[2:]}
    theirs = {line.split("|")[1].strip(): line for line in readme[2:-1]}
    assert [c for c in theirs if c not in ours] == [], "README rows that ExitCodes.def lacks"
    assert [c for c in ours if c not in theirs] == [], "ExitCodes.def rows the README lacks"
    for code in ours:
        assert theirs[code] == ours[code], "README row differs from ExitCodes.def"
    assert readme[:-1] == exit_codes.readme_table(), "print it with scripts/exit_codes.py --readme"


@pytest.mark.parametrize("text, rows", [
    ('QV_EXIT_CODE(3, kExitSame, "same", "nothing to do")',
     [(3, "kExitSame", "same", "nothing to do")]),
    ('QV_PASSED_CODE(1603, "failed", "read the log")  // msiexec\'s',
     [(1603, None, "failed", "read the log")]),
    # long rows: split literals over lines, hexadecimal codes, escaped quotes, comments between
    ('// a comment naming QV_EXIT_CODE(9, kNine, "x", "y")\n'
     'QV_EXIT_CODE(0x8007000E, kExitOutOfMemory,\n    "out of "\n    "memory",\n'
     '    "say \\"retry\\"")\n#undef QV_EXIT_CODE',
     [(0x8007000E, "kExitOutOfMemory", "out of memory", 'say "retry"')]),
])
def test_exit_code_rows_parse(text, rows):
    assert exit_codes.parse(text) == [exit_codes.ExitCode(*row) for row in rows]


@pytest.mark.parametrize("text", [
    'QV_EXIT_CODE(3, "same", "nothing to do")',  # no name
    'QV_PASSED_CODE(2, kNoPackage, "none", "check")',  # a name for a passed code
    'QV_EXIT_CODE(3, kExitSame, "same")',  # no action
    'QV_EXIT_CODE(3, kExitSame, "same, "nothing to do")',  # a broken literal
    'QV_EXIT_CODE(3, kA, "a", "b")\nQV_PASSED_CODE(3, "c", "d")',  # one code twice
    'QV_EXIT_CODE(3, kA, "a", "b")\nQV_EXIT_CODE(4, kA, "c", "d")',  # one name twice
])
def test_exit_code_rows_that_do_not_parse_are_errors(text):
    with pytest.raises(ValueError):
        exit_codes.parse(text)
