#!/usr/bin/python3
"""Photographs a station's live page in headless Chromium once it shows a slot of each kind (one
updating part-way, one updated, one failed, one waiting), at each screen size given.

    station_page_screenshots.py URL OUT_DIR WIDTHxHEIGHT... (writes station-page-WxH.png)

Debian's python3 with python3-selenium, chromium and chromium-driver.
"""

import sys
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# The slots' shown states, and the progress of the one updating, read in one go.
READ_SLOTS = """
if (document.getElementById('connection').dataset.state !== 'live') return null;
return [...document.querySelectorAll('#slots .tile')].map((tile) => {
  const progress = tile.querySelector('progress');
  return [tile.dataset.show, progress.hasAttribute('value') ? progress.value : null];
});
"""

# Part-way, so that the bar reads as one.
PROGRESS = range(25, 76)


def ready(slots):
    if not slots:
        return False
    shown = sorted(show for show, _ in slots)
    updating = [percent for show, percent in slots if show == "updating"]
    return (shown == ["failed", "updated", "updating", "waiting"]
            and updating[0] is not None and updating[0] in PROGRESS)


def main():
    if len(sys.argv) < 4:
        sys.exit(f"usage: {sys.argv[0]} URL OUT_DIR WIDTHxHEIGHT...")
    url, out, sizes = sys.argv[1], Path(sys.argv[2]), sys.argv[3:]
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--force-device-scale-factor=1"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                              options=options)
    try:
        driver.get(url)
        deadline = time.monotonic() + 60
        slots = None
        while not ready(slots := driver.execute_script(READ_SLOTS)):
            if time.monotonic() > deadline:
                sys.exit(f"station page: never showed a slot of each kind; last: {slots}")
            time.sleep(0.2)
        for size in sizes:
            width, height = (int(number) for number in size.split("x"))
            # The page's own size, not the window's: the picture is exactly the screen.
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": width, "height": height, "deviceScaleFactor": 1,
                                    "mobile": False})
            time.sleep(0.5)  # a frame at the new size, and its layout
            path = out / f"station-page-{size}.png"
            driver.save_screenshot(str(path))
            print(f"screenshots: {path}")
    finally:
        driver.quit()


if __name__ == "__main__":
    main()
