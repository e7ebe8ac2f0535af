#!/usr/bin/env python3
"""CPU use of a live capture: tavrin-cli --port against the sensor simulator.

Runs the capture for a fixed time at each rate, several times, and prints the
CPU time (user + system, from the child's resource usage) as a share of one
core over the capture's wall time; the median of the runs is the figure to
quote. The calibration at the end is part of each run, as a user pays for it.

    bench/capture_cpu.py [BUILD_DIR] [--seconds S] [--runs N] [--rates 100,1000]
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def one_run(build, rate, seconds, folder, index):
    simulator = subprocess.Popen(
        [os.path.join(build, "tools", "sensor_simulator"), "--rate", str(rate), "--format", "raw"],
        stdout=subprocess.PIPE, text=True)
    try:
        port = simulator.stdout.readline().strip()
        record = os.path.join(folder, f"capture-{rate}-{index}.txt")
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        with open(os.path.join(folder, "report.txt"), "w") as report:
            cli = subprocess.run(
                [os.path.join(build, "src", "cli", "tavrin-cli"), "--hm", "48", "--port", port,
                 "--seconds", str(seconds), "--record", record],
                stdout=report, stderr=subprocess.DEVNULL)
        wall = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    finally:
        simulator.kill()
        simulator.wait()
    if cli.returncode != 0:
        sys.exit(f"tavrin-cli ended with status {cli.returncode}")
    # A recording of Raw: lines is a CSV log: its header is no reading.
    with open(record) as f:
        readings = sum(1 for line in f if not line.startswith("mx,"))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, readings


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rates", default="100,1000")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        for rate in [int(r) for r in args.rates.split(",")]:
            shares = []
            for k in range(args.runs):
                cpu, wall, readings = one_run(args.build, rate, args.seconds, folder, k)
                shares.append(100.0 * cpu / wall)
                print(f"{rate}/s run {k + 1}: {readings} readings in {wall:.2f} s, "
                      f"CPU {cpu * 1000:.0f} ms = {shares[-1]:.2f} % of one core")
            print(f"{rate}/s: median {statistics.median(shares):.2f} % of one core "
                  f"(min {min(shares):.2f}, max {max(shares):.2f})")


if __name__ == "__main__":
    main()
