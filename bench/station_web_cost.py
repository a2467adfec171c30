#!/usr/bin/python3
"""What the station's web server costs: the station's processor time while 4 slots program
(velkor-sim units paced at 38400 baud), without --http and with --http and 3 headless Chromium pages
following its events, in turn, RUNS times each. Prints each run, the medians and their
difference.

    bench/station_web_cost.py BUILD_DIR [RUNS [BAUD]]

Needs Debian's chromium, chromium-driver and python3-selenium.
"""
import os
import signal
import statistics
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SLOTS = 4
BROWSERS = 3


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def browser(url):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,800"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.get(url)
    WebDriverWait(driver, 10).until(
        lambda d: d.find_element(By.ID, "connection").get_attribute("data-state") == "live")
    return driver


def run(build, work, baud, http):
    sim = os.path.join(build, "sim", "velkor-sim")
    flash = os.path.join(build, "cli", "velkor-flash")
    firmware = os.path.join(work, "fw.hex")
    units = []
    for _ in range(SLOTS):
        unit = subprocess.Popen([sim, "--model", "j5", "--family", "m3", "--baud", str(baud)],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        units.append((unit, unit.stdout.readline().strip()))
    command = [flash, "station", "--model", "j5", "--mcu", "m3", "--max-units", str(SLOTS)]
    for _, device in units:
        command += ["--port", device]
    port = free_port()
    if http:
        command += ["--http", f"127.0.0.1:{port}"]
    command.append(firmware)
    browsers = []
    started = time.monotonic()
    log = open(os.path.join(work, "station.log"), "w")
    station = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=log)
    try:
        if http:
            time.sleep(0.5)
            browsers = [browser(f"http://127.0.0.1:{port}/") for _ in range(BROWSERS)]
        while http and station.poll() is None and not all(
                len(d.find_elements(By.CSS_SELECTOR, '.tile[data-state="updating"]')) == SLOTS
                for d in browsers):
            time.sleep(0.2)
        if http and station.poll() is None:
            print("    every page shows the 4 slots updating", flush=True)
        _, status, usage = os.wait4(station.pid, 0)
        wall = time.monotonic() - started
        station.returncode = os.waitstatus_to_exitcode(status)
    finally:
        for driver in browsers:
            driver.quit()
        if station.returncode is None:
            station.kill()
        for unit, _ in units:
            unit.send_signal(signal.SIGTERM)
            unit.wait()
    log.close()
    if station.returncode != 0:
        with open(log.name) as lines:
            sys.exit(f"station_web_cost: the station ended with {station.returncode}:\n"
                     + lines.read())
    cpu = usage.ru_utime + usage.ru_stime
    return cpu, wall


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    baud = int(sys.argv[3]) if len(sys.argv) > 3 else 38400
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([os.path.join(build, "sim", "velkor-sim"), "firmware", "--model", "j5",
                        "--family", "m3", "-o", os.path.join(work, "fw.hex")],
                       check=True, stdout=subprocess.DEVNULL)
        shares = {False: [], True: []}
        labels = {False: "without --http", True: f"--http, {BROWSERS} browsers"}
        for _ in range(runs):
            for http in (False, True):
                cpu, wall = run(build, work, baud, http)
                shares[http].append(100 * cpu / wall)
                print(f"{labels[http]:>22}: {cpu:6.2f} s of processor in {wall:5.1f} s "
                      f"({100 * cpu / wall:.2f} % of a core, {SLOTS} slots programming)",
                      flush=True)
        plain = statistics.median(shares[False])
        served = statistics.median(shares[True])
        print(f"median without --http: {plain:.2f} % of a core; with --http and {BROWSERS} "
              f"browsers: {served:.2f} %; the server's cost: {served - plain:+.2f} % of a core")


if __name__ == "__main__":
    main()
