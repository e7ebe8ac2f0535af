#!/usr/bin/env python3
"""Writes sample.txt: a simulated tri-axis magnetometer turned through every
orientation in a field of norm HM, seen through a known soft-iron matrix A0
and hard-iron bias B0, with Gaussian sensor noise. Fixed seed: the file is
the same on every run. Standard library only."""
import math
import random

SEED = 20261207
COUNT = 2000
HM = 48.0  # microtesla
NOISE = 0.25  # standard deviation per axis, microtesla
B0 = (12.5, -7.3, 20.1)
A0 = ((1.08, 0.05, -0.03),
      (0.05, 0.94, 0.04),
      (-0.03, 0.04, 1.02))


def unit_vector(rng):
    while True:
        u = [rng.gauss(0.0, 1.0) for _ in range(3)]
        norm = math.sqrt(sum(c * c for c in u))
        if norm > 1e-9:
            return [c / norm for c in u]


def main():
    rng = random.Random(SEED)
    with open("sample.txt", "w", newline="\n") as out:
        for _ in range(COUNT):
            u = unit_vector(rng)
            h = [B0[i] + sum(A0[i][j] * HM * u[j] for j in range(3)) + rng.gauss(0.0, NOISE)
                 for i in range(3)]
            out.write("%.4f\t%.4f\t%.4f\n" % tuple(h))


if __name__ == "__main__":
    main()
