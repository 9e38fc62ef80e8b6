"""A history written by a browser itself: headless Chromium (DevTools on a
pipe) or headless Firefox ESR (WebDriver BiDi) with a profile folder of its
own visits pages, and its history database is read back. Chromium commits
its `History` within about ten seconds of a visit and holds the file locked
(exclusive locking) while it runs; Firefox writes `places.sqlite` at once,
but into its write-ahead log, which it too keeps locked until it ends."""

import contextlib
import hashlib
import os
import shutil
import sqlite3
import tempfile
import time

from devtools_pipe import Browser
from webdriver_bidi import Firefox

# The history database of each browser, within the profile folder it is
# started with.
DATABASE = {"chromium": os.path.join("Default", "History"), "firefox": "places.sqlite"}
# Each browser's visits and their times: (URL, title, time in the browser's
# own base). Chromium counts microseconds since 1601-01-01, Firefox since
# 1970-01-01 (both UTC).
VISITS_QUERY = {
    "chromium": "SELECT u.url, u.title, v.visit_time FROM visits v JOIN urls u ON u.id = v.url",
    "firefox": "SELECT p.url, p.title, v.visit_date FROM moz_historyvisits v "
               "JOIN moz_places p ON p.id = v.place_id",
}
CHROMIUM_EPOCH_US = 11644473600 * 10**6  # 1970-01-01 in Chromium's base


class RunningBrowser:
    """A headless browser visiting pages in `profile`; close() ends it."""

    def __init__(self, browser, program, profile, log, env=None):
        self.browser, self.profile = browser, profile
        if browser == "chromium":
            self._driver = Browser(program, profile, None, log)
        else:
            self._driver = Firefox(program, profile, log, env or os.environ)

    @property
    def database(self):
        return os.path.join(self.profile, DATABASE[self.browser])

    def visit(self, url):
        if self.browser == "chromium":
            _, session = self._driver.open(url)
            self._driver.wait_for(session, "document.readyState === 'complete'")
        else:
            self._driver.open(url)

    def wait_written(self, urls, timeout=30):
        """Waits until the database file itself (or with its write-ahead
        log, read through a copy) lists every URL; whether it did."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if set(urls) <= {url for url, _, _ in visits(self.browser, self.database)}:
                return True
            time.sleep(0.5)
        return False

    def close(self):
        self._driver.close()


def fresh_schema(browser, program, profile, log):
    """The schema of the history a browser makes in a new profile folder
    (started, waited for until its history has its visits table, ended)."""
    running = RunningBrowser(browser, program, profile, log)
    try:
        end = time.monotonic() + 30
        while time.monotonic() < end and not any(
                " visits" in sql or "moz_historyvisits" in sql
                for sql in schema(running.database)):
            time.sleep(0.25)
    finally:
        running.close()
    statements = schema(running.database)
    if not statements:
        raise RuntimeError(f"{browser} made no history in {profile}")
    return statements


@contextlib.contextmanager
def _copy(database):
    """A connection to a private copy of the database and its write-ahead
    log: the browser's lock keeps every other reader out, and the original
    is never written."""
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "db")
        for suffix in ("", "-wal"):
            if os.path.exists(database + suffix):
                shutil.copyfile(database + suffix, copy + suffix)
        db = sqlite3.connect(copy)
        try:
            yield db
        finally:
            db.close()


def visits(browser, database):
    """The browser's visits (URL, title, time in its base), read without
    touching the browser's lock: from a copy of the files taken aside."""
    if not os.path.exists(database):
        return []
    with _copy(database) as db:
        try:
            return db.execute(VISITS_QUERY[browser]).fetchall()
        except sqlite3.Error:
            return []


def schema(database):
    """The CREATE statements of a database, in the order SQLite keeps them
    (tables before their indexes), without SQLite's own tables."""
    if not os.path.exists(database):
        return []
    with _copy(database) as db:
        try:
            return [sql for (sql,) in db.execute(
                "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL "
                "AND name NOT LIKE 'sqlite_%' ORDER BY rowid")]
        except sqlite3.Error:
            return []  # caught while the browser was writing it


def make_database(path, statements, browser, rows, journal="delete"):
    """A history database at `path` in a browser's schema (`statements`
    from schema()), holding `rows` (add_visits)."""
    db = sqlite3.connect(path)
    db.execute(f"PRAGMA journal_mode={journal}")
    for sql in statements:
        db.execute(sql)
    add_visits(db, browser, rows)
    db.commit()
    db.close()


def add_visits(db, browser, rows):
    """Adds `rows`, (URL, title, time in the browser's base), to a history
    database in the browser's schema: each URL new, one place; each row one
    visit (a link followed in a tab)."""
    places = {}
    for url, title, when in rows:
        if url not in places:
            if browser == "chromium":
                places[url] = db.execute(
                    "INSERT INTO urls (url, title, visit_count, last_visit_time) "
                    "VALUES (?, ?, 1, ?)", (url, title, when)).lastrowid
            else:
                places[url] = db.execute(
                    "INSERT INTO moz_places (url, title, rev_host, visit_count, "
                    "last_visit_date, guid) VALUES (?, ?, '', 1, ?, ?)",
                    (url, title, when, hashlib.sha1(url.encode()).hexdigest()[:12])).lastrowid
        if browser == "chromium":
            db.execute("INSERT INTO visits (url, visit_time, transition) VALUES (?, ?, 805306368)",
                       (places[url], when))
        else:
            db.execute("INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) "
                       "VALUES (?, ?, 1)", (places[url], when))
