#!/usr/bin/env python3
"""Readings a capture killed outright (SIGKILL) loses.

tavrin-cli --port - reads lines that this script writes into a pipe at a
steady rate. At a random moment the capture is frozen (SIGSTOP), the bytes
still waiting in the pipe are counted, and it is killed (SIGKILL). A line
that had not arrived whole was never read, so it is no loss of the capture;
the readings lost are the lines written, less those still waiting, less
those in the recording. Prints the largest and the median loss of the runs.

    bench/capture_kill.py [BUILD_DIR] [--rate 1000] [--seconds 3] [--runs 20]
"""
import argparse
import fcntl
import os
import random
import signal
import statistics
import struct
import subprocess
import tempfile
import termios
import time


def line(k):
    return f"{40 * (k % 7) - 120}.{k % 10000:04d}\t{k % 97 - 48}.5\t-{k % 61}.25\n".encode()


def one_run(cli, rate, seconds, folder, index):
    record = os.path.join(folder, f"kill-{index}.txt")
    reader, writer = os.pipe()
    capture = subprocess.Popen([cli, "--hm", "48", "--port", "-", "--format", "xyz", "--record", record],
                               stdin=reader, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sent = bytearray()
    written = 0
    start = time.monotonic()
    stop_at = start + random.uniform(seconds / 2, seconds)
    while time.monotonic() < stop_at:
        due = int((time.monotonic() - start) * rate)
        chunk = b"".join(line(k) for k in range(written, due))
        if chunk:
            os.write(writer, chunk)
            sent += chunk
            written = due
        time.sleep(0.0005)
    capture.send_signal(signal.SIGSTOP)
    waiting = struct.unpack("i", fcntl.ioctl(reader, termios.FIONREAD, b"\0\0\0\0"))[0]
    capture.kill()
    capture.wait()
    os.close(reader)
    os.close(writer)
    unread = sent[len(sent) - waiting:].count(b"\n")
    with open(record, "rb") as f:
        recorded = f.read().count(b"\n")
    return written - unread - recorded, written


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--rate", type=int, default=1000)
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--runs", type=int, default=20)
    options = parser.parse_args()
    cli = os.path.join(options.build, "src", "cli", "tavrin-cli")
    with tempfile.TemporaryDirectory() as folder:
        runs = [one_run(cli, options.rate, options.seconds, folder, k) for k in range(options.runs)]
    lost = [lost for lost, _ in runs]
    print(f"{options.rate} readings a second, {options.runs} kills after {min(w for _, w in runs)} to "
          f"{max(w for _, w in runs)} readings: at most {max(lost)} lost, median {statistics.median(lost)}")


if __name__ == "__main__":
    main()
