"""Shared fixtures: the comlux module from the build tree and galdera-sim on free loopback ports."""

import os
import re
import signal
import subprocess
import sys
import threading
import time

import pytest

BUILD_PYTHON = os.environ.get("COMLUX_PYTHON_DIR")
BIN_DIR = os.environ.get("SEQUORA_BIN_DIR")
if BUILD_PYTHON:
    sys.path.insert(0, BUILD_PYTHON)

PORTS = re.compile(r"hand-out port (\d+), command port (\d+)")
PATIENCE_S = 10.0


class StandIn:
    """A galdera-sim process on ports the system picks; its command lines go to a file."""

    def __init__(self, folder, *arguments):
        self.commands_file = folder / "sim-commands.txt"
        self._stderr_file = folder / "sim-stderr.txt"
        with open(self.commands_file, "wb") as out, open(self._stderr_file, "wb") as err:
            self.process = subprocess.Popen(
                [os.path.join(BIN_DIR, "galdera-sim"), "--handout-port", "0", "--command-port", "0", *arguments],
                stdout=out, stderr=err)
        deadline = time.monotonic() + PATIENCE_S
        while True:
            found = PORTS.search(self._stderr_file.read_text())
            if found:
                self.handout_port, self.command_port = int(found.group(1)), int(found.group(2))
                return
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("galdera-sim did not start: " + self._stderr_file.read_text())
            time.sleep(0.02)

    def client(self, **settings):
        import comlux
        return comlux.Client("127.0.0.1", handout_port=self.handout_port, command_port=self.command_port,
                             **settings)

    def commands(self):
        """The command texts the stand-in received, in order."""
        return [line.split(" ", 2)[2] for line in self.commands_file.read_text().splitlines()]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(PATIENCE_S)


@pytest.fixture
def start_stand_in(tmp_path):
    """Starts galdera-sim with extra arguments (e.g. "--rate", "20000"); stops it after the test."""
    started = []

    def start(*arguments):
        stand_in = StandIn(tmp_path, *arguments)
        started.append(stand_in)
        return stand_in

    yield start
    for stand_in in started:
        stand_in.stop()


@pytest.fixture
def stand_in(start_stand_in):
    return start_stand_in()


@pytest.fixture
def python_handles_sigint():
    """Sends the test process SIGINT 0.3 s from now, handled by Python's own handler even where
    the test runner was started with SIGINT ignored; yields a list that then holds when."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    sent = []

    def interrupt():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(0.3, interrupt)
    timer.start()
    yield sent
    timer.join()
    signal.signal(signal.SIGINT, previous)
