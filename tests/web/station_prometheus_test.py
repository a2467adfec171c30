#!/usr/bin/python3
"""The station's metrics as Prometheus reads them: promtool accepts the text (a station name with
a quote and a backslash included), and a Prometheus server scraping the station counts the two
units it updated.

    station_prometheus_test.py VELKOR_FLASH VELKOR_SIM PROMETHEUS PROMTOOL
"""

import json
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request
from datetime import datetime

from station_processes import Failure, firmware, free_port, programs, run, wait_until

STATION = 'line "3" \\ west'
UPDATED = 'velkor_station_units_total{result="updated"}'


def get(url):
    """The body of url as text, or None while nothing answers there (yet)."""
    try:
        with urllib.request.urlopen(url, timeout=5) as response:
            return response.read().decode()
    except (urllib.error.URLError, ConnectionError):
        return None


def get_json(url):
    body = get(url)
    return json.loads(body) if body is not None else None


def prometheus_test(processes, folder):
    flash, sim, prometheus_program, promtool = programs(
        "station_prometheus_test.py", "VELKOR_FLASH", "VELKOR_SIM", "PROMETHEUS", "PROMTOOL")
    watch = folder / "by-id"
    watch.mkdir()
    fw = folder / "fw.hex"
    firmware(sim, fw)
    port = free_port()
    station = f"http://127.0.0.1:{port}"
    processes.station(flash, port, "--watch", watch, "--allow-pty", "--station", STATION, fw)

    # Prometheus starts while the units are updated.
    prometheus_port = free_port()
    prometheus = f"http://127.0.0.1:{prometheus_port}"
    config = folder / "prometheus.yml"
    config.write_text(f"""global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: velkor_station
    static_configs:
      - targets: ["127.0.0.1:{port}"]
""")
    processes.start("prometheus", [prometheus_program, f"--config.file={config}",
                                   f"--storage.tsdb.path={folder / 'tsdb'}",
                                   f"--web.listen-address=127.0.0.1:{prometheus_port}"])

    for name in ("usb-unit-1", "usb-unit-2"):
        processes.unit(sim, watch / name)
    totals = lambda: (get_json(f"{station}/api/state") or {}).get("totals")
    wait_until("both units updated", 30, totals, lambda t: t and t["updated"] == 2)
    recorded = time.time()

    metrics = get(f"{station}/metrics")
    check = subprocess.run([promtool, "check", "metrics"], input=metrics, capture_output=True,
                           text=True)
    if check.returncode != 0:
        raise Failure(f"promtool check metrics ended with {check.returncode}:\n{check.stdout}"
                      f"{check.stderr}\non this text:\n{metrics}")

    def target():
        targets = get_json(f"{prometheus}/api/v1/targets")
        active = targets["data"]["activeTargets"] if targets else []
        return active[0] if active else None

    def scraped_since_recorded(seen):
        return (seen and seen["health"] == "up"
                and datetime.fromisoformat(seen["lastScrape"]).timestamp() > recorded)

    wait_until("a successful scrape after both units were recorded", 30, target,
               scraped_since_recorded)

    query = urllib.parse.urlencode({"query": UPDATED})
    answer = get_json(f"{prometheus}/api/v1/query?{query}")
    values = [series["value"][1] for series in answer["data"]["result"]]
    if values != ["2"]:
        raise Failure(f"Prometheus has {UPDATED} = {values}, not [2]: {answer}")
    # The name comes through the label's escapes as it was given.
    query = urllib.parse.urlencode({"query": "velkor_station_info"})
    answer = get_json(f"{prometheus}/api/v1/query?{query}")
    names = [series["metric"]["station"] for series in answer["data"]["result"]]
    if names != [STATION]:
        raise Failure(f"Prometheus has the station named {names}, not [{STATION!r}]")


if __name__ == "__main__":
    sys.exit(run("station_prometheus_test", prometheus_test))
