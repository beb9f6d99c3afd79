"""The kit explorer: Hypothesis draws kits (package names, folders, levels, languages, platforms,
one ProductCode or one per package), machine states (products installed, a restart marker, the
tool's answer) and command lines, and runs the real setup.exe on each after its -whatif, on a
window station nobody sees. Each run must keep every rule of broken_rules, named so that a
failure says which broke. CI runs a fixed set without shrinking; QV_EXPLORE_EXAMPLES=N draws N
and shrinks what fails (README, Tests)."""
import dataclasses
import os
import re
import shutil
import string
import time
from pathlib import Path
from typing import Dict, List, NamedTuple, Optional, Tuple

import pytest
from hypothesis import HealthCheck, Phase, assume, example, given, settings, strategies as st

import make_kit
import wine
from make_kit import Package

pytestmark = pytest.mark.needs_setup

LEVELS, LANGUAGES = ("kc1", "kc2", "kc3"), ("eng", "rus")
TOKENS = (*LEVELS, *LANGUAGES, "x64", "win32", "arm64")
KIT_VERSION = "5.0.10.2"
VERSIONS = {"older": "5.0.9.2", "same": KIT_VERSION, "fourth": "5.0.10.1", "later": "5.0.11.2"}
MARKER = r"HKCU\Software\NeedBstrReboot"
JOURNAL = r"HKLM\Software\QuorvaneCspSetup\InProgress"
# A run ended from outside left its record: before or after msiexec committed, or malformed.
RECORDS = ("none", "before", "after", "after-root", "short", "wrong-type")
STORES = r"HKLM\Software\Microsoft\SystemCertificates\{}\Certificates"
SECONDS = 60  # a run that waits for a box nobody sees waits for ever


@dataclasses.dataclass(frozen=True)
class Kit:
    stem: str = "qv"
    pairs: Tuple[Tuple[Optional[str], str], ...] = (("kc1", "eng"),)  # level (None: no levels)
    platforms: Tuple[str, ...] = ("x64",)
    shared_code: bool = True  # one ProductCode per platform, or one per package
    separator: str = "_"
    tail: str = ""  # after the tokens
    upper: bool = False  # tokens, tail and extension
    folder: str = "kit"  # under C:\
    decoys: bool = False  # files and a folder named after the first package, all to be ignored
    reboot: bool = False  # msiexec asks for a restart

    def files(self) -> Dict[str, Tuple[str, Optional[str], str]]:
        """file name -> (platform, level, language)"""
        files = {}
        for platform in self.platforms:
            for level, language in self.pairs:
                tail = self.separator.join(t for t in (platform, level, language) if t)
                tail += self.tail + ".msi"
                files[self.stem + self.separator + (tail.upper() if self.upper else tail)] = \
                    (platform, level, language)
        return files


@dataclasses.dataclass(frozen=True)
class Installed:
    version: str = "older"  # a key of VERSIONS
    level: str = "kc1"
    language: str = "eng"
    platform: str = "x64"
    shared_code: bool = True
    tokens: bool = True  # named as the kit names it; else product.msi, and its flags tell


@dataclasses.dataclass(frozen=True)
class World:
    kit: Kit = Kit()
    installed: Tuple[Installed, ...] = ()
    line: Tuple[str, ...] = ("-silent", "-noreboot")
    marker: str = "none"  # none, stamped, stale, unstamped
    tool: object = 0  # the initialisation tool's exit code, or "hang"
    kind: str = "win64-en"
    record: str = "none"  # a key of RECORDS; "after" needs a product installed

    @property
    def platform(self) -> str:
        return "win32" if self.kind == "win32-en" else "x64"


def product_code(version: str, platform: str, level, language, shared: bool) -> str:
    platform = "x64" if platform == "arm64" else platform
    return make_kit.guid(f"explore {version} {platform}" +
                         ("" if shared else f" {level} {language}"))


# --- drawing ----------------------------------------------------------------------------------

CYRILLIC = "абвгдеёжзийклмнопстуфхцчшщъыьэюяАБВЖЗЯЁ"
NAME = string.ascii_letters + string.digits + ". -'" + CYRILLIC


def _text(alphabet: str, least: int, most: int) -> st.SearchStrategy:
    return st.text(alphabet, min_size=least, max_size=most).filter(
        lambda s: not any(t in s.lower() for t in TOKENS))


def _spelled(word: str, values=None) -> st.SearchStrategy:
    """An option as Windows programs take it: - or /, any case; with its value if it has one."""
    option = st.tuples(st.sampled_from("-/"), st.sampled_from([word, word.upper(), word.title()]))
    return st.tuples(option.map("".join), *([values] if values is not None else []))


def _cased(words) -> st.SearchStrategy:
    return st.sampled_from(words).flatmap(lambda w: st.sampled_from([w, w.upper(), w.title()]))


def _sometimes(percent: int, piece: st.SearchStrategy, most=2) -> st.SearchStrategy:
    """The piece once or twice in `percent` of the lines; shrinks to none."""
    return st.integers(0, 99).flatmap(
        lambda n: st.lists(piece, min_size=1, max_size=most) if n >= 100 - percent else
        st.just([]))


def _mostly(good: st.SearchStrategy, bad: st.SearchStrategy) -> st.SearchStrategy:
    return st.integers(0, 7).flatmap(lambda n: bad if n == 7 else good)


@st.composite
def pairs(draw):
    levels = draw(st.one_of(st.lists(st.sampled_from(LEVELS), min_size=1, unique=True),
                            st.just([None])))
    languages = draw(st.lists(st.sampled_from(LANGUAGES), min_size=1, unique=True))
    full = [(level, language) for level in sorted(levels, key=str) for language in sorted(
        languages)]
    dropped = draw(st.sets(st.sampled_from(full), max_size=len(full) - 1))
    return tuple(p for p in full if p not in dropped)


segments = _text(NAME.replace(".", ""), 1, 60).filter(lambda s: s[-1] != " ")
folders = st.one_of(st.just("kit"), st.lists(segments, min_size=1, max_size=4).map(
    lambda parts: ("kits\\" + "\\".join(parts))[:240].rstrip(" \\")))
kits = st.builds(
    Kit, _text(NAME, 1, 100), pairs(),
    st.tuples(st.sampled_from((("x64", "win32"), ("x64",), ("x64", "win32"), ("win32",))),
              st.booleans()).map(lambda p: p[0] + ("arm64",) * p[1]),
    st.booleans(), st.sampled_from("_- ."), _text(NAME, 0, 10), st.booleans(), folders,
    st.booleans(), st.sampled_from((False, False, False, True)))
lines = st.tuples(
    _sometimes(80, _spelled("silent")), _sometimes(70, _spelled("noreboot")),
    _sometimes(40, st.sampled_from(("reinstall", "uninstall", "repair")).flatmap(_spelled)),
    _sometimes(40, _spelled("kc", _mostly(_cased(LEVELS), st.sampled_from(
        ("kc4", "KC-2", "2", "", "kc2 ", "-help"))))),
    _sometimes(30, _spelled("lang", _mostly(_cased(LANGUAGES),
                                            st.sampled_from(("deu", "", "/root"))))),
    _sometimes(30, _spelled("root")),
    _sometimes(30, _spelled("args", st.sampled_from(
        ("/qn", "/qb", r"/l*v C:\msi.log", 'PROP="a b" OTHER=1')))),
    # setup.exe's line stays within what Windows starts; msiexec's may pass it
    _sometimes(4, _spelled("args", st.integers(32300, 32600).map(lambda n: "LONG=" + "x" * n)),
               most=1),
    _sometimes(15, _spelled("log", st.sampled_from((
        r"C:\setup.log", r"C:\no such folder\s.log", "C:\\qvlogs\\", r"C:\users")))),
    # 2**32 + 1 and more: a number read into too few bits must not pass as one second
    _sometimes(15, _spelled("tooltimeout", _mostly(st.sampled_from(("60", "600", "86400")), (
        st.sampled_from(("0", "86401", "-5", "1.5", "ten", "4294967297")))))),
    _sometimes(8, st.sampled_from(("-typo", "silent", "/?", "-help", "-kc")).map(lambda w: (w,))),
).flatmap(lambda drawn: st.permutations(sum(drawn, []))).map(
    lambda drawn: tuple(word for piece in drawn for word in piece))


@st.composite
def worlds(draw) -> World:
    kind = draw(st.sampled_from(("win64-en", "win64-en", "win64-ru", "win32-en")))
    kit = draw(kits)
    platform = "win32" if kind == "win32-en" else "x64"
    # Mostly at a level and language of the kit.
    ours = [p for p in kit.pairs if p[0]] or [("kc1", "eng")]
    installs = st.tuples(
        st.sampled_from(list(VERSIONS)), _mostly(st.sampled_from(ours), st.tuples(
            st.sampled_from(LEVELS), st.sampled_from(LANGUAGES))),
        st.sampled_from((platform, "win32")), st.booleans(), st.booleans()).map(
        lambda t: Installed(t[0], *t[1], *t[2:]))
    installed = ()
    first, second = draw(st.none() | installs), draw(st.none() | installs)
    if first:
        installed = (first,)
        # A second product stays only beside one of the same version under another code.
        if second and second.level != first.level:
            installed += (dataclasses.replace(second, version=first.version, shared_code=False,
                                              platform=first.platform),)
    line, tool = draw(lines), draw(st.sampled_from((0, 0, 0, 3010, 1, "hang")))
    record = draw(st.sampled_from(RECORDS[:1] * 3 + RECORDS[1:]))
    if record.startswith("after") and not installed:
        record = "before"
    if tool == "hang":  # past its limit, never the default ten minutes
        line += ("-tooltimeout", "2")
    return World(kit, installed, line,
                 draw(st.sampled_from(("none", "stamped", "stale", "unstamped"))), tool, kind,
                 record)


# --- what the README promises -----------------------------------------------------------------

class Line(NamedTuple):
    code: Optional[int]  # 0 for the usage, 1639 for a bad line, else None
    options: Dict[str, str]  # name -> value ("" for a switch); the last value wins


def read_line(words: Tuple[str, ...]) -> Line:
    options: Dict[str, str] = {}
    words = list(words)
    while words:
        word = words.pop(0)
        name = word[1:].lower() if word[:1] in "-/" else None
        if name in ("help", "-help", "?"):
            return Line(0, options)
        if name in ("silent", "root", "reinstall", "noreboot", "uninstall", "repair"):
            options[name] = ""
        elif name in ("kc", "lang", "args", "log", "tooltimeout") and words:
            value = words.pop(0)
            if name in ("kc", "lang"):
                value = value.lower()
                if value not in (LEVELS if name == "kc" else LANGUAGES):
                    return Line(1639, options)
            if name == "tooltimeout" and not (value.isdigit() and 1 <= int(value) <= 86400):
                return Line(1639, options)
            options[name] = value
        else:
            return Line(1639, options)
    return Line(1639 if len({"uninstall", "reinstall", "repair"} & set(options)) > 1 else None,
                options)


def promised_code(world: World, options: Dict[str, str]) -> Optional[int]:
    """The exit code the README promises for a good line, where it promises one."""
    files = [f for f in world.kit.files().values() if f[0] == world.platform]
    if "uninstall" in options:
        # Nobody can be asked where nobody sees a window: without -silent nothing is removed.
        return (None if "silent" in options else 1602) if world.installed else 1605
    if not files:
        return 2
    if "repair" in options:  # never from another version
        product = world.installed[0] if len(world.installed) == 1 else None
        return 1605 if not world.installed else 1638 if product and product.version != "same" \
            and product.platform == world.platform else None
    if len(world.installed) == 1:
        product = world.installed[0]
        if product.platform != world.platform:
            return None
        if product.version == "later" and "silent" not in options:
            return 4
        ours = (world.platform, product.level, product.language) in files and \
            product.shared_code == world.kit.shared_code
        asked = (options.get("kc", product.level), options.get("lang", product.language))
        if product.version == "same" and ours and asked == (product.level, product.language) \
                and "reinstall" not in options:
            return None if forward(world) else 3  # a finished step is never "nothing to do"
    level = options.get("kc")
    if not world.installed and level and world.kit.pairs[0][0] and \
            not any(f[1] == level for f in files):
        return 2
    return None


def wanted(world: World, options: Dict[str, str]) -> Tuple[Optional[str], str]:
    """The level (None: any) and language a package installed must have: asked for, kept from
    the product installed, or on a fresh machine the user interface's language."""
    kept = world.installed[0] if len(world.installed) == 1 else None
    level = options.get("kc") or (kept.level if kept else None)
    language = options.get("lang") or (kept.language if kept else
                                       "rus" if world.kind == "win64-ru" else "eng")
    return (level if world.kit.pairs[0][0] else None), language


def forward(world: World) -> bool:
    """The record's target is installed: the next run finishes its steps."""
    return world.record.startswith("after")


def old_package(world: World, i: int) -> str:
    """The name a product installed was installed under, from its own folder."""
    product = world.installed[i]
    kit = dataclasses.replace(world.kit, pairs=((product.level, product.language),),
                              platforms=(product.platform,), folder=f"old\\{i}")
    return next(iter(kit.files())) if product.tokens else "product.msi"


def settled(world: World, before: "Machine") -> "Machine":
    """The machine once recovery has read the record: one cut short, or whose msiexec had not
    committed, goes; the latter's product names its own package again."""
    if forward(world) or world.record == "none":
        return before
    products = before.products
    if world.record == "before" and world.installed:
        code = installed_code(world.installed[0])
        products = frozenset((c, v, old_package(world, 0) if c == code else n)
                             for c, v, n in products)
    return before._replace(products=products, journal=())


def installed_code(p: Installed) -> str:
    return product_code(VERSIONS[p.version], p.platform, p.level, p.language, p.shared_code)


def _hex(*values: str, kind=7) -> str:
    """A .reg file's string (1) or multi-string (7), whose list ends with an empty string."""
    data = "".join(v + "\0" for v in values + ("",) * (kind == 7)).encode("utf-16-le")
    return f"hex({kind}):" + ",".join(f"{b:02x}" for b in data)


# --- running a world --------------------------------------------------------------------------

class Machine(NamedTuple):
    """What a run may change."""
    products: frozenset  # related products: (ProductCode, version, the source list's package)
    registry: Tuple[str, ...]  # the marker's key, as msiquery prints it
    trust: frozenset  # (store, thumbprint) of the kit's certificates
    journal: Tuple[str, ...] = ()  # the record's key


class Outcome(NamedTuple):
    planned: int  # -whatif's exit code
    code: Optional[int]  # the run's; None: still running at the time limit
    before: Machine
    after_plan: Machine
    after: Machine
    log: List[str]  # the run's setup log, without times
    tool_runs: int
    authorities: frozenset  # the trust a run with -root adds: each authority in its store


class Explorer:
    """Prefix copies from the harness's cache, one an example; packages built once a session
    by what they hold, and copied under each name a kit gives them."""

    def __init__(self, cache, display, runs, reaper, certificates, work: Path):
        self.cache, self.display, self.runs, self.reaper = cache, display, runs, reaper
        self.certificates = certificates[0]
        self.stores = make_kit.certificate_stores(certificates[1])
        self.authorities = frozenset((s, t) for s in ("Root", "CA") for t in self.stores[s])
        self.work = work
        self.count = 0
        self.built: Dict[tuple, Path] = {}

    def package(self, version, platform, level, language, shared, reboot=False,
                flags="{},") -> Path:
        key = (version, platform, level, language, shared, reboot, flags)
        if key not in self.built:
            self.built[key] = make_kit.build_package(Package(
                f"p{len(self.built)}.msi", version,
                product_code(version, platform, level, language, shared),
                language=1049 if language == "rus" else 1033, reboot=reboot,
                platform="x64" if platform == "arm64" else platform,
                release_flags=flags.format(level) if level else None), self.work)
        return self.built[key]

    def arrange(self, world: World) -> wine.Prefix:
        self.count += 1
        target = self.runs / f"explore-{self.count}"
        wine.copy_prefix(self.cache.pristine(world.kind), target)
        prefix = wine.Prefix(target, world.kind, self.display)
        for i, product in enumerate(world.installed):
            source = prefix.host(f"C:\\old\\{i}") / old_package(world, i)
            source.parent.mkdir(parents=True)
            # Flags with more than the level in them, as the real packages have.
            shutil.copyfile(self.package(VERSIONS[product.version], product.platform,
                                         product.level, product.language, product.shared_code,
                                         flags="{}," if product.tokens else "x,{},"), source)
            assert prefix.msiexec("/i", prefix.win(source), "/qn") == 0, product
        if world.marker != "none":
            written = {"stamped": (int(time.time()) + 11644473600) * 10 ** 7, "stale": 1}
            value = ["/v", "Written", "/t", "REG_QWORD", "/d", str(written[world.marker])] \
                if world.marker in written else []
            prefix.wine(["reg", "add", MARKER, *value, "/f"], check=True)
        if world.record != "none":
            self.record(world, prefix)
        prefix.set_ordo_tool_exit(world.tool)
        prefix.kit = prefix.host("C:\\" + world.kit.folder)
        (prefix.drive_c / "qvlogs").mkdir()
        prefix.kit.mkdir(parents=True, exist_ok=True)
        files = world.kit.files()
        for name, (platform, level, language) in files.items():
            shutil.copyfile(self.package(KIT_VERSION, platform, level, language,
                                         world.kit.shared_code, world.kit.reboot),
                            prefix.kit / name)
        if world.kit.decoys:
            base = next(iter(files))[:-4]
            (prefix.kit / (base + "-old.msi")).mkdir()
            for suffix, data in ((".cab", b"MSCF"), ("-custom.mst", b"transform"), (".txt", b""),
                                 ("-old.msix", b"PK"), (".msi.bak", b"old")):
                (prefix.kit / (base + suffix)).write_bytes(data)
        make_kit.copy_certificates(self.certificates, prefix.kit)
        return prefix

    def record(self, world: World, prefix: wine.Prefix) -> None:
        """The record as a run ended from outside leaves it, after it pointed the product's
        source list at the kit's package."""
        name = next(iter(world.kit.files()))
        target = [make_kit.guid("no package"), KIT_VERSION, name,
                  product_code(KIT_VERSION, world.platform, *world.kit.pairs[0],
                               world.kit.shared_code)]
        keys = {}
        if forward(world):  # installed from its own folder
            target[2:] = [old_package(world, 0), installed_code(world.installed[0])]
            target[0] = prefix.msiquery("info", target[3], "PackageCode")[0]
        elif world.installed and world.record == "before":
            code = target[3] = installed_code(world.installed[0])
            target[:0] = ["C:\\old\\0\\", old_package(world, 0)]
            g = code.strip("{}").replace("-", "")
            squashed = g[7::-1] + g[11:7:-1] + g[15:11:-1] + "".join(
                g[i + 1] + g[i] for i in range(16, 32, 2))
            keys[rf"HKEY_LOCAL_MACHINE\Software\Classes\Installer\Products\{squashed}"
                 r"\SourceList"] = [f'"PackageName"={_hex(name, kind=1)}']
        target = {"short": _hex(*target[-4:-1]), "wrong-type": _hex(" ".join(target), kind=1)}.get(
            world.record, _hex(*target))
        keys["HKEY_LOCAL_MACHINE" + JOURNAL[4:]] = [  # regedit is 32-bit, as setup.exe
            f'"Target"={target}',
            f'"Steps"=hex(b):0{int(world.record == "after-root")},00,00,00,00,00,00,00',
            '"Msiexec"=hex(b):01,00,00,00,ff,07,00,00']  # no such process
        text = "Windows Registry Editor Version 5.00\r\n" + "".join(
            f"\r\n[{key}]\r\n" + "".join(v + "\r\n" for v in values)
            for key, values in keys.items())
        prefix.host(r"C:\record.reg").write_text(text, encoding="utf-16")  # hex(7) as UTF-16
        prefix.wine(["regedit", "/s", r"C:\record.reg"], check=True)

    def machine(self, prefix: wine.Prefix) -> Machine:
        stores = [STORES.format(s) for s in ("Root", "CA")]
        lines = prefix.msiquery("snapshot", make_kit.UPGRADE_CODE, MARKER, JOURNAL, *stores)
        products = frozenset(tuple(l.split(" ", 3)[1:]) for l in lines if l.startswith("product "))
        ours = set().union(*self.stores.values())
        key, registry, journal, trust = "", [], [], set()
        for line in lines:
            key = line[4:] if line.startswith("key ") else key
            if key in stores and line[4:] in ours:
                trust.add((key.split("\\")[-2], line[4:]))
            elif key not in stores and not line.startswith("product "):
                (journal if key == JOURNAL else registry).append(line)
        return Machine(products, tuple(registry), frozenset(trust), tuple(journal))

    def run(self, world: World, judge, seconds=SECONDS) -> Outcome:
        """Runs -whatif, then the line itself; the prefix stays for a look when judge(outcome)
        answers something."""
        # Windows starts no longer command line (the harness's helper passes it on in its own).
        assume(len(wine.windows_command_line(world.line)) + len(world.kit.folder) < 32690)
        prefix = self.arrange(world)
        keep = True
        try:
            before = self.machine(prefix)
            logs = _logs(prefix)[1]
            planned = prefix.setup(["-whatif", *world.line], seconds, hidden=True)
            after_plan = self.machine(prefix)
            logs = _logs(prefix, logs)[1]
            try:
                code = prefix.setup(list(world.line), seconds, hidden=True)
            except TimeoutError:
                code = None
            outcome = Outcome(planned, code, before, after_plan, self.machine(prefix),
                              _logs(prefix, logs)[0], len(prefix.ordo_tool_log()),
                              self.authorities)
            keep = bool(judge(outcome)) and not BUDGET  # shrinking would keep hundreds
            return outcome
        finally:
            def end(prefix=prefix, keep=keep):
                prefix.kill()
                if not keep:
                    shutil.rmtree(prefix.path, ignore_errors=True)
            self.reaper(end)


def _logs(prefix: wine.Prefix, seen: Optional[Dict[Path, int]] = None):
    """(the newest setup log written since `seen`, as lines without times; every log now)"""
    now = {p: p.stat().st_mtime_ns for pattern in ("users/*/Temp/*.log", "windows/temp/*.log",
                                                   "*.log", "users/*.log", "qvlogs/*.log")
           for p in prefix.drive_c.glob(pattern)}
    fresh = sorted((t, p) for p, t in now.items() if seen is not None and seen.get(p) != t and
                   b" setup.exe " in p.read_bytes()[:40])
    text = fresh[-1][1].read_bytes().decode("utf-8", errors="replace") if fresh else ""
    return wine.strip_log_times(text).splitlines(), now


# --- the rules --------------------------------------------------------------------------------

MEANINGS = wine.exit_codes.meanings()


def broken_rules(world: World, o: Outcome) -> Dict[str, str]:
    """Each rule the outcome breaks, by name, with what was seen."""
    line = read_line(world.line)
    options = line.options
    removing = line.code is None and "uninstall" in options  # not the usage
    log = "\n".join(o.log)
    broken: Dict[str, str] = {}

    def rule(name: str, kept, seen: str = "") -> None:
        if not kept:
            broken[name] = seen

    rule("ends-in-time", o.code is not None, "still running at the time limit")
    if o.code is None:
        return broken
    calls = re.findall(r"^msiexec: (.*)$", log, re.M)
    installing = "uninstall" not in options and any(" /i " in c for c in calls)
    fine = installing and o.code in (0, 3010, 1641)  # 1641: and the restart started
    ended = re.findall(r"^(?:msiexec|tool) ended with (\S+) after", log, re.M) + \
        ["1460"] * (o.code == 1460)
    passed = {int(c, 0) for c in re.findall(r"^msiexec ended with (\S+) after", log, re.M)}
    rule("code-in-table", o.code in MEANINGS or o.code in passed, f"{o.code:#x}")
    promised = line.code if line.code is not None else promised_code(world, options)
    rule("readme-code", promised in (None, o.code), f"README: {promised}")
    # Removal needs no package: the kit's UpgradeCode names what to remove.
    rule("uninstall-needs-no-package", not (removing and world.installed and o.code == 2))
    rule("whatif-agrees", o.planned == o.code or any(c != "0" for c in ended),
         f"-whatif {o.planned}, the run {o.code}")
    rule("whatif-changes-nothing", o.after_plan == o.before, _diff(o.before, o.after_plan))
    # The table's meaning, but a removal's own word for it, and none of "installed" where
    # msiexec installed nothing (1638 before any change).
    meaning = MEANINGS.get(o.code, "the failing step's own code")
    if removing and meaning.startswith("installed;"):
        meaning = "removed;" + meaning[len("installed;"):]
    if o.code == 1638 and not calls:
        meaning = "nothing changed"
    rule("last-line", o.log and o.log[-1] == f"exit code {wine.exit_codes.code_text(o.code)}: "
         f"{meaning}" and not (o.after == o.before and meaning.startswith("installed")),
         o.log[-1] if o.log else "no log")
    silent = any(w[:1] in "-/" and w[1:].lower() == "silent" for w in world.line)
    rule("hidden-says-so", silent or "window station is not visible" in log)
    refused = o.code in (2, 3, 4, 206, 1602, 1605, 1618, 1639) or (o.code == 1638 and not calls)
    # Recovery reads the record once the line is read, whatever the run then decides.
    expected = settled(world, o.before) if line.code is None else o.before
    rule("refusal-changes-nothing", not refused or o.after == expected, _diff(expected, o.after))
    # Its steps come first in any plan but a removal's; they and the record stay on a refusal.
    steps = forward(world) and line.code is None and not removing and not refused
    kept = forward(world) and (refused or removing and o.code not in (0, 3010, 1605, 1641)) or \
        o.code == 1460 or line.code is not None and o.before.journal
    rule("record-settles", bool(o.after.journal) == bool(kept) or o.code == 1638 and calls,
         _diff(o.before, o.after))
    rule("one-product", not fine or len(o.after.products) == 1, str(sorted(o.after.products)))
    rule("uninstall-leaves-none", not (removing and o.code == 0) or not o.after.products,
         str(sorted(o.after.products)))
    level, language = wanted(world, options)
    files = {n.lower(): f for n, f in world.kit.files().items() if f[0] == world.platform}
    for _, _, package in o.after.products - expected.products:
        found = files.get(package.lower())
        rule("source-list", found and level in (None, found[1]) and (found[2] == language or all(
            f[1:] != (found[1], language) for f in files.values())),
             f"{package}, asked or kept {level} {language}")
    done = fine or installing and o.code == 1460  # the certificates come before the tool
    rule("tool-runs", o.tool_runs == done + steps, f"{o.tool_runs} runs")
    added = o.after.trust - o.before.trust
    rooted = done and "root" in options or steps and world.record == "after-root"
    rule("certificates", added == (o.authorities if rooted else set()) - o.before.trust,
         str(sorted(added)))
    folder, head = options.get("log", ""), log.partition("\n")[0]  # it names its own file
    rule("log-in-folder", not folder.endswith(("\\", "users")) or line.code is not None or
         re.search(re.escape(folder.rstrip("\\")) + r"\\QuorvaneSetup_[^\\]+\.log$", head, re.I),
         head)
    # setup.exe adds an interface switch only where -args give none.
    switches = re.compile(r"(?:^| )[/-](?:q\w*|passive)(?= |$)", re.I)
    given = len(switches.findall(" ".join(w for i, w in enumerate(world.line) if i and re.fullmatch(
        r"[-/]args", world.line[i - 1], re.I))))
    for call in calls:
        rule("one-interface-switch", len(switches.findall(call)) <= max(1, given), call[:300])
    return broken


def _diff(before: Machine, after: Machine) -> str:
    return "; ".join(f"{name}: -{sorted(set(a) - set(b))} +{sorted(set(b) - set(a))}"
                     for name, a, b in zip(Machine._fields, before, after) if a != b)


# Faults known and being mended elsewhere: (rule, why, when). A generated example that breaks
# only these passes; FOUND shows each one, and both go once it is mended.
KNOWN: list = []
_BROKEN: Dict[str, type] = {}
RECORD = os.environ.get("QV_EXPLORE_RECORD")  # a file that gets one line an example


def explore(explorer: Explorer, world: World, tolerate=KNOWN, seconds=SECONDS) -> None:
    start, found = time.monotonic(), {}

    def judge(outcome):
        found.update(broken_rules(world, outcome))
        known = {rule for rule, _, when in tolerate if rule in found and when(world, outcome)}
        if RECORD:
            with open(RECORD, "a", encoding="utf-8") as record:
                line = repr(dict(world=world, code=outcome.code, planned=outcome.planned,
                                 broken=found, known=sorted(known),
                                 seconds=round(time.monotonic() - start, 1)))
                print(re.sub(r"x{99,}", lambda m: f"x*{len(m[0])}", line), file=record)
        for rule in known:
            del found[rule]
        return found

    outcome = explorer.run(world, judge, seconds)
    if found:
        # One exception type a rule: Hypothesis tells bugs apart by type, and shrinks each.
        first = next(iter(found))
        kind = _BROKEN.setdefault(first, type(f"Broke_{first.replace('-', '_')}",
                                              (AssertionError,), {}))
        raise kind("; ".join(f"{k} ({v})" for k, v in found.items()) +
                   f"\nexit {outcome.code}, -whatif {outcome.planned}\n" +
                   "\n".join(line[:300] for line in outcome.log))


@pytest.fixture(scope="session")
def explorer(prefix_cache, display, kit_helpers, _runs, _reaper, certificates, tmp_path_factory):
    return Explorer(prefix_cache, display, _runs, _reaper, certificates,
                    tmp_path_factory.mktemp("explore"))


BUDGET = int(os.environ.get("QV_EXPLORE_EXAMPLES", "0"))
SETTINGS = settings(
    max_examples=BUDGET or 16, deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
    **({"phases": [Phase.generate, Phase.shrink]} if BUDGET else
       {"phases": [Phase.explicit, Phase.generate], "derandomize": True, "database": None}))


QV3 = Kit(pairs=(("kc1", "eng"), ("kc2", "rus"), ("kc3", "eng")))
SILENT = ("-silent", "-noreboot")


@SETTINGS
@given(worlds())
# Hand-written rows that the rules cover. The package search and its fallbacks: the level stays,
# in another language; a kit without levels takes the language, then the platform alone.
@example(World(QV3, line=(*SILENT, "-kc", "kc2", "-lang", "rus")))
@example(World(QV3, line=(*SILENT, "-kc", "kc3", "-lang", "rus")))
@example(World(Kit(pairs=((None, "rus"),)), line=(*SILENT, "-kc", "kc1", "-lang", "eng")))
@example(World(Kit(pairs=(("kc1", "eng"), ("kc1", "rus"), ("kc2", "rus"))), marker="stamped",
               line=(*SILENT, "-kc", "kc3", "-lang", "rus")))
@example(World(Kit(pairs=(("kc1", "eng"), ("kc2", "eng"), ("kc3", "eng"))), kind="win64-ru",
               line=(*SILENT, "-kc", "kc3")))
# The platform's package, beside look-alikes named after it; names with blanks and Cyrillic.
@example(World(Kit(platforms=("x64", "win32"), decoys=True), line=(*SILENT, "-kc", "kc1")))
@example(World(Kit(platforms=("x64", "win32")), kind="win32-en"))
@example(World(Kit(separator=" ", tail=" Тест 'ё'", folder="Kit O'Neil Пакеты"),
               line=(*SILENT, "-root")))
# Values that look like options, or name no language.
@example(World(marker="unstamped", line=(*SILENT, "-kc", "-help", "-lang", "/root")))
@example(World(marker="unstamped", line=(*SILENT, "-kc", "kc2", "-lang", "deu")))
# The level kept from the flags of a cached package whose name says nothing.
@example(World(Kit(pairs=(("kc1", "eng"), ("kc2", "rus"), ("kc3", "eng"), ("kc3", "rus"))),
               (Installed("older", "kc2", "rus", tokens=False),)))
# The same version, and a later one, with and without -silent where nobody sees a window.
@example(World(Kit(), (Installed("same"),), ("-silent",)))
@example(World(QV3, (Installed("same", "kc3", "eng"),), ("-noreboot",)))
@example(World(QV3, (Installed("later", "kc3", "eng", shared_code=False),), ("-noreboot",)))
@example(World(QV3, line=("-noreboot", "-typo")))
@example(World(Kit(), (Installed("same"),), ("/Uninstall", "/?")))  # the usage: nothing removed
# Records of a run ended from outside: its steps finished (the log into a folder), before or beside
# an installation, or dropped with the product; undone; dropped when cut short; a tool past its
# limit again.
@example(World(Kit(), (Installed("same"),), (*SILENT, "-log", "C:\\qvlogs\\"), record="after"))
@example(World(Kit(), (Installed("older"),), (*SILENT, "-root"), record="after-root"))
@example(World(Kit(), (Installed("same"),), ("-silent", "-uninstall"), record="after-root"))
@example(World(Kit(), (Installed("same", tokens=False),), SILENT, record="before"))
@example(World(Kit(), (Installed("same"),), (*SILENT, "-tooltimeout", "2"), "none", "hang",
               record="after"))
@example(World(Kit(), (), (*SILENT, "-root", "-tooltimeout", "2"), "none", "hang", record="short"))
# -repair from the kit, and of nothing; a limit that wraps round in 32 bits.
@example(World(Kit(), (Installed("same"),), (*SILENT, "-repair", "-tooltimeout", "600")))
@example(World(Kit(), (), (*SILENT, "-repair"), record="wrong-type"))
@example(World(Kit(), (), (*SILENT, "-tooltimeout", "4294967297")))
def test_explore(explorer, world):
    explore(explorer, world)


SAME_TWICE = (Installed("same", "kc1", "eng"), Installed("same", "kc2", "eng", shared_code=False))
TWO_LEVELS = Kit(pairs=(("kc1", "eng"), ("kc2", "eng")))
# What the explorer found, one example each, kept as rows once mended.
FOUND = {
    "1638-for-two-products-says-installed": World(TWO_LEVELS, SAME_TWICE),
    "1638-for-another-level-says-installed": World(
        TWO_LEVELS, SAME_TWICE[:1], ("-silent", "-noreboot", "-kc", "kc2")),
    "whatif-0-where-the-run-gives-206": World(Kit("q" * 100, folder="kits\\" + "d" * 95), (), (
        "-silent", "-noreboot", "-args", "LONG=" + "x" * 32560)),
    "uninstall-from-a-kit-for-another-platform": World(
        Kit(platforms=("win32",)), (Installed("same"),), ("-silent", "-uninstall")),
    # Windows Installer shows its own error (a later version is installed) in a box that nobody
    # can answer, and waits for ever, when -args choose a visible interface where nobody sees it.
    "visible-interface-level-where-nobody-sees-it": World(Kit(), (Installed("later"),), (
        "-silent", "-noreboot", "-args", "/qb")),
}


@pytest.mark.parametrize("world", FOUND.values(), ids=FOUND.keys())
def test_found(explorer, world):
    explore(explorer, world, tolerate=(), seconds=15)
