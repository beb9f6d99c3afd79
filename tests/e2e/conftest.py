"""Fixtures for tests that run Windows programs under Wine.

    prefix            a fresh win64-en prefix copy (parametrize indirectly for another kind)
    make_prefix(kind) more copies: "win64-en", "win64-ru", "win32-en"
    certificates      (folder, {file: [SHA-1]}) of the session's test certificates
    @pytest.mark.needs_setup   skips the test while build/windows/setup.exe is missing
"""
import re
import shutil
import subprocess
import threading
import time

import pytest

import wine  # first: it puts tests/kit on the path
import make_kit  # noqa: E402

_timings = {"copies": [], "builds": {}}


def pytest_configure(config):
    config.addinivalue_line("markers", "needs_setup: needs build/windows/setup.exe")


def pytest_runtest_setup(item):
    if item.get_closest_marker("needs_setup") and not wine.SETUP_EXE.exists():
        pytest.skip("setup.exe is not built yet")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.failed:
        item.e2e_failed = True


@pytest.fixture(scope="session")
def kit_helpers():
    """The test programs, built on first use when the Windows build tree lacks them."""
    needed = ["ui_driver.exe", "msiquery.exe", "certstore.exe", "ordo_tool.exe", "user_exit.dll",
              "argv_diff.exe"]
    if not all((wine.KIT_BIN / n).exists() for n in needed):
        steps = [["cmake", "--build", "--preset", "windows", "--target", "kit"]]
        if not (wine.BUILD / "windows" / "CMakeCache.txt").exists():
            steps.insert(0, ["cmake", "--preset", "windows"])
        for step in steps:
            result = subprocess.run(step, cwd=wine.REPO, capture_output=True, text=True)
            if result.returncode != 0:
                pytest.fail(f"{' '.join(step)} failed:\n{result.stdout[-3000:]}"
                            f"{result.stderr[-3000:]}", pytrace=False)
    return wine.KIT_BIN


@pytest.fixture(scope="session")
def display():
    """One Xvfb for the session, on a display number it picks itself."""
    try:
        xvfb, name = wine.start_display()
    except wine.WineError as error:
        pytest.fail(str(error), pytrace=False)
    yield name
    xvfb.terminate()
    xvfb.wait(10)


@pytest.fixture(scope="session")
def prefix_cache():
    cache = wine.PrefixCache()
    _timings["builds"] = cache.timings
    yield cache
    # A test that wrote through a hard link changed the pristine prefix for every later test.
    for kind in wine.KINDS:
        changed = cache.modified_since_built(kind)
        if changed:
            shutil.rmtree(cache.path(kind), ignore_errors=True)
            pytest.fail(f"pristine prefix {kind} was modified through a hard link: "
                        f"{changed[:10]}; add such files to wine.COPIED", pytrace=False)


@pytest.fixture(scope="session")
def _runs():
    return wine.session_runs()


@pytest.fixture(scope="session")
def _reaper():
    """Ends prefixes in the background: `wineserver -k` takes most of a second, and nothing
    waits for a finished test's prefix."""
    threads = []

    def later(work):
        thread = threading.Thread(target=work)
        thread.start()
        threads.append(thread)

    yield later
    for thread in threads:
        thread.join(60)


@pytest.fixture
def make_prefix(request, prefix_cache, display, kit_helpers, _reaper, _runs):
    """make_prefix(kind="win64-en") -> wine.Prefix, a copy of that pristine prefix that lives
    for the test. Copies of passed tests are deleted; those of failed tests stay under
    build/e2e/run/<pid>/ with their screenshots until the next test run."""
    made = []
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)[:80]

    def make(kind: str = "win64-en") -> wine.Prefix:
        pristine = prefix_cache.pristine(kind)
        target = _runs / f"{name}-{kind}-{len(made)}"
        start = time.monotonic()
        wine.copy_prefix(pristine, target)
        _timings["copies"].append(time.monotonic() - start)
        prefix = wine.Prefix(target, kind, display)
        made.append(prefix)
        return prefix

    yield make
    keep = getattr(request.node, "e2e_failed", False)
    for prefix in made:
        def end(prefix=prefix):
            prefix.kill()
            if not keep:
                shutil.rmtree(prefix.path, ignore_errors=True)
        _reaper(end)


@pytest.fixture
def prefix(request, make_prefix):
    """A fresh prefix copy: win64-en unless parametrized, e.g.
    @pytest.mark.parametrize("prefix", ["win32-en"], indirect=True)."""
    return make_prefix(getattr(request, "param", "win64-en"))


@pytest.fixture(scope="session")
def sealed_setup(kit_helpers):
    """sealed_setup(folder) -> the path of a setup.exe sealed for the kit in folder. Built in
    build/e2e/sealed once; another seal rebuilds only the resources and the link."""
    def build(folder) -> "Path":
        try:
            return wine.build_sealed_setup(folder, wine.E2E / "sealed")
        except RuntimeError as e:
            pytest.fail(str(e), pytrace=False)
    return build


@pytest.fixture(scope="session")
def certificates(tmp_path_factory):
    """(folder, {file name: [SHA-1 thumbprints]}) made once; Prefix.add_certificates copies."""
    folder = tmp_path_factory.mktemp("certificates")
    return folder, make_kit.make_certificates(folder)


def pytest_terminal_summary(terminalreporter):
    cache_timings = _timings["builds"]
    copies = _timings["copies"]
    if not copies and not cache_timings:
        return
    parts = []
    if cache_timings:
        parts.append("prefixes built: " + ", ".join(f"{k} {v:.1f}s"
                                                     for k, v in cache_timings.items()))
    if copies:
        parts.append(f"{len(copies)} prefix copies, {1000 * sum(copies) / len(copies):.0f} ms "
                     f"each on average")
    terminalreporter.write_line("wine harness: " + "; ".join(parts))
