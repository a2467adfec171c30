"""The processes of the station's browser and Prometheus tests: a velkor-flash station, velkor-sim
units and the programs that look at them, every one ended with the test, however it ends."""

import ctypes
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


class Failure(Exception):
    """What the test found wrong, said for the person reading the test's output."""


def die_with_test():
    """For preexec_fn: a child that the test leaves behind, killed at its time limit, ends too.
    SIGTERM, so that a simulator still removes its link."""
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def free_port():
    """A port nothing listens on now, for a server the test may have to start twice on it."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(what, seconds, read, holds=bool):
    """Calls read until holds(what it returned) is true, and returns that. Fails after
    `seconds`, naming what was awaited and the last thing read returned."""
    deadline = time.monotonic() + seconds
    while True:
        seen = read()
        if holds(seen):
            return seen
        if time.monotonic() > deadline:
            raise Failure(f"waited {seconds} s for {what}; last seen: {seen!r}")
        time.sleep(0.1)


class Child:
    """A started program, its standard output and error kept in files for the failure report."""

    def __init__(self, name, command, folder):
        self.name = name
        self.out_path = folder / f"{name}.out"
        self.err_path = folder / f"{name}.err"
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(
                command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                preexec_fn=die_with_test)

    def err(self):
        return self.err_path.read_text(errors="replace")

    def out(self):
        return self.out_path.read_text(errors="replace")

    def wait_for_err(self, text, seconds=15):
        def shown():
            if text in self.err():
                return True
            if self.process.poll() is not None:
                raise Failure(f"{self.name} ended with {self.process.returncode} before it wrote "
                              f"{text!r} on standard error")
            return False

        wait_until(f"{self.name} to write {text!r} on standard error", seconds, shown)

    def signal(self, number):
        if self.process.poll() is None:
            self.process.send_signal(number)

    def stop(self, seconds=30):
        """SIGTERM, then SIGKILL if it is still there after `seconds`; its exit status."""
        self.signal(signal.SIGTERM)
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure(f"{self.name} did not end within {seconds} s of SIGTERM")


class Processes:
    """Every child of a test, in a temporary folder of its own; stopped newest first."""

    def __init__(self, folder):
        self.folder = folder
        self.children = []

    def start(self, name, command):
        child = Child(name, [str(word) for word in command], self.folder)
        self.children.append(child)
        return child

    def station(self, flash, port, *options, name="station"):
        """A station serving its page on 127.0.0.1:port; returns it once it serves."""
        child = self.start(name, [flash, "station", "--model", "j5", "--mcu", "m3",
                                  "--poll-interval", "200", "--http", f"127.0.0.1:{port}",
                                  *options])
        child.wait_for_err(f"Station page: http://127.0.0.1:{port}/")
        return child

    def unit(self, sim, link, *options, name=None):
        """A simulated J5 unit with an M3 MCU, reached through the symbolic link `link`."""
        child = self.start(name or link.name, [sim, "--model", "j5", "--family", "m3",
                                               "--symlink", link, *options])
        wait_until(f"{child.name} to make its link {link}", 15,
                   lambda: link.is_symlink() or child.process.poll() is not None)
        if child.process.poll() is not None:
            raise Failure(f"{child.name} ended with {child.process.returncode}: {child.err()}")
        return child

    def stop_all(self):
        for child in reversed(self.children):
            if child.process.poll() is None:
                child.process.terminate()
        for child in reversed(self.children):
            try:
                child.process.wait(30)
            except subprocess.TimeoutExpired:
                child.process.kill()
                child.process.wait()

    def report(self):
        for child in self.children:
            for stream, text in (("stdout", child.out()), ("stderr", child.err())):
                if text.strip():
                    print(f"--- {child.name} {stream}:\n{text.rstrip()}", file=sys.stderr)


def firmware(sim, path, version_text=None):
    """A J5 M3 firmware file; with version_text, for units that answer with that version."""
    command = [sim, "firmware", "--model", "j5", "--family", "m3", "-o", path]
    if version_text is not None:
        command += ["--version-text", version_text]
    made = subprocess.run([str(word) for word in command], capture_output=True, text=True)
    if made.returncode != 0:
        raise Failure(f"velkor-sim firmware ended with {made.returncode}: {made.stderr}")


def _end_on_signal(number, _frame):
    raise SystemExit(128 + number)


def run(name, test):
    """Runs test(processes, folder) and ends every process it started, however it ends; the
    exit status for CTest."""
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, _end_on_signal)
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix=f"{name}-") as folder:
        processes = Processes(Path(folder))
        try:
            test(processes, Path(folder))
        except Failure as failure:
            print(f"{name}: FAILED: {failure}", file=sys.stderr)
            processes.report()
            return 1
        finally:
            processes.stop_all()
    print(f"{name}: passed in {time.monotonic() - started:.1f} s")
    return 0


def programs(script, *names):
    """The programs the command line names, in the order of `names`."""
    paths = [Path(path) for path in sys.argv[1:]]
    if len(paths) != len(names) or not all(os.access(path, os.X_OK) for path in paths):
        sys.exit(f"usage: {script} {' '.join(names)}")
    return paths
