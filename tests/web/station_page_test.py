#!/usr/bin/python3
"""The station's page in headless Chromium: a unit's tile follows it from waiting through a
moving progress bar to updated and the totals count it, its version shows as text whatever
markup it holds, and the page says when the station is gone and shows the next station's state
once it is back on the same port, all without a reload.

    station_page_test.py VELKOR_FLASH VELKOR_SIM CHROMIUM CHROMEDRIVER
"""

import signal
import sys

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service

from station_processes import Failure, die_with_test, firmware, free_port, programs, run, wait_until

# Markup a unit might answer with: the page must show it, not run it or build elements of it.
VERSION = "<script>document.title='pwned'</script>J5M3A-H8"
TITLE = "Velkor station"

# Each tile's facts the test follows, read in one go so that they belong together.
READ_TILE = """
const tile = document.querySelector(`.tile[data-slot="${CSS.escape(arguments[0])}"]`);
if (!tile) return null;
const progress = tile.querySelector('progress');
return {
  state: tile.dataset.state,
  show: tile.dataset.show,
  percent: progress.hasAttribute('value') ? progress.value : null,
  version: tile.querySelector('.tile-version').textContent,
  versionElements: tile.querySelector('.tile-version').childElementCount,
};
"""

READ_PAGE = """
return {
  connection: document.getElementById('connection').dataset.state,
  updated: document.getElementById('total-updated').textContent,
  tiles: document.querySelectorAll('#slots .tile').length,
  records: [...document.querySelectorAll('#records tbody tr')].map(
      (row) => [...row.cells].map((cell) => [cell.textContent, cell.childElementCount])),
  title: document.title,
  scripts: document.scripts.length,
  // Set by the test on the first load: gone if the page was loaded again.
  sameLoad: window.velkorTestMark === 1,
};
"""


def browser(chromium, chromedriver, folder):
    options = webdriver.ChromeOptions()
    options.binary_location = str(chromium)
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1280,800",
                     f"--user-data-dir={folder / 'chromium'}"):
        options.add_argument(argument)
    service = Service(str(chromedriver), log_path=str(folder / "chromedriver.log"),
                      popen_kw={"preexec_fn": die_with_test})
    try:
        return webdriver.Chrome(service=service, options=options)
    except WebDriverException as error:
        raise Failure(f"Chromium did not start: {error.msg}")


def page_test(processes, folder):
    flash, sim, chromium, chromedriver = programs("station_page_test.py", "VELKOR_FLASH",
                                                  "VELKOR_SIM", "CHROMIUM", "CHROMEDRIVER")
    watch = folder / "by-id"
    watch.mkdir()
    fw = folder / "fw.hex"
    firmware(sim, fw, VERSION)
    port = free_port()
    station = processes.station(flash, port, "--watch", watch, "--allow-pty", fw)

    driver = browser(chromium, chromedriver, folder)
    try:
        driver.set_script_timeout(10)
        driver.get(f"http://127.0.0.1:{port}/")
        driver.execute_script("window.velkorTestMark = 1;")

        def page():
            return driver.execute_script(READ_PAGE)

        def tile():
            return driver.execute_script(READ_TILE, "usb-unit-1") or {}

        wait_until("the page to be live with no unit updated", 10, page,
                   lambda p: p["connection"] == "live" and p["updated"] == "0")

        # The adapter first, the unit later: the slot waits, then updates.
        unit = processes.unit(sim, watch / "usb-unit-1", "--start-unplugged", "--baud", "115200",
                              "--version-text", VERSION)
        wait_until("the new slot's tile, waiting", 10, tile,
                   lambda t: t.get("state") == "waiting")
        unit.signal(signal.SIGUSR2)
        unit.wait_for_err("velkor-sim: next unit plugged in")
        wait_until("the tile to show the update", 10, tile, lambda t: t.get("show") == "updating")
        first = wait_until("a progress value below 100 on the tile", 20, tile,
                           lambda t: t.get("show") == "updating"
                           and 0 < (t["percent"] or 0) < 100)
        wait_until(f"the progress to move on from {first['percent']} %", 10, tile,
                   lambda t: (t.get("percent") or 0) > first["percent"])
        wait_until("the tile to show the unit updated", 40, tile,
                   lambda t: t.get("show") == "updated")
        wait_until("1 unit updated in the totals and one record line", 5, page,
                   lambda p: p["updated"] == "1" and len(p["records"]) == 1)

        shown = tile()
        if shown.get("version") != VERSION or shown.get("versionElements") != 0:
            raise Failure(f"the tile shows the version {shown.get('version')!r} with "
                          f"{shown.get('versionElements')} elements, not the text {VERSION!r}")
        seen = page()
        record = seen["records"][0]
        if record[2] != ["updated", 0] or record[3] != [VERSION, 0]:
            raise Failure(f"the record line reads {record}, not updated for {VERSION!r} as text")
        if seen["title"] != TITLE or seen["scripts"] != 1:
            raise Failure(f"the unit's markup ran or became elements: title {seen['title']!r}, "
                          f"{seen['scripts']} script elements")

        status = station.stop()
        if status != 128 + signal.SIGTERM:
            raise Failure(f"the station ended with {status} on SIGTERM")
        wait_until("the page to say the station is lost", 10, page,
                   lambda p: p["connection"] == "lost")

        # The next station knows nothing of the last one's unit, nor of its slot.
        unit.stop()
        processes.station(flash, port, "--watch", watch, "--allow-pty", fw,
                          name="station-again")
        wait_until("the page to be live again with the new station's state", 15, page,
                   lambda p: p["connection"] == "live" and p["updated"] == "0"
                   and p["tiles"] == 0 and not p["records"])
        if not page()["sameLoad"]:
            raise Failure("the page was loaded again")
    finally:
        driver.quit()


if __name__ == "__main__":
    sys.exit(run("station_page_test", page_test))
