#!/usr/bin/env python3
"""Writes the recordings of recordings/: the sensor of sample.txt (same A0,
b0, Hm and noise) moved as real recordings move, one file per case of the
README's "Choosing a fit":

  spiky.txt    every orientation, but 2 % of the points are spikes, moved by
               a Gaussian of standard deviation Hm / 2 on each axis
  cap.txt      the directions cover a cap of 30 % of the sphere only, with
               noise of 2 % of Hm
  flat.txt     turned about the vertical only, as a car or a floor robot,
               under a field of inclination 60 degrees, tilting by up to
               2 degrees

Fixed seeds: the files are the same on every run. Standard library only."""
import math
import os
import random

from make_sample import A0, B0, COUNT, HM, NOISE, unit_vector


def sensor(u, rng, noise):
    return [B0[i] + sum(A0[i][j] * HM * u[j] for j in range(3)) + rng.gauss(0.0, noise) for i in range(3)]


def cap(rng, share, axis):
    # Uniform on the cap: the cosine to the axis is uniform.
    norm = math.sqrt(sum(c * c for c in axis))
    w = [c / norm for c in axis]
    e1 = [1 - w[0] * w[0], -w[0] * w[1], -w[0] * w[2]]
    n1 = math.sqrt(sum(c * c for c in e1))
    e1 = [c / n1 for c in e1]
    e2 = [w[1] * e1[2] - w[2] * e1[1], w[2] * e1[0] - w[0] * e1[2], w[0] * e1[1] - w[1] * e1[0]]
    z = 1 - 2 * share * rng.random()
    phi = 2 * math.pi * rng.random()
    rho = math.sqrt(max(0.0, 1 - z * z))
    return [z * w[i] + rho * (math.cos(phi) * e1[i] + math.sin(phi) * e2[i]) for i in range(3)]


def flat(rng, inclination, wobble):
    # The field (cos I, 0, sin I) seen from a sensor turned by psi about z
    # and tilted a little about x and y.
    psi = 2 * math.pi * rng.random()
    tx = wobble * (2 * rng.random() - 1)
    ty = wobble * (2 * rng.random() - 1)
    f = (math.cos(inclination), 0.0, math.sin(inclination))
    v = (math.cos(psi) * f[0], -math.sin(psi) * f[0], f[2])
    v = (v[0], math.cos(tx) * v[1] - math.sin(tx) * v[2], math.sin(tx) * v[1] + math.cos(tx) * v[2])
    return [math.cos(ty) * v[0] + math.sin(ty) * v[2], v[1], -math.sin(ty) * v[0] + math.cos(ty) * v[2]]


def write(name, points):
    with open(os.path.join("recordings", name), "w", newline="\n") as out:
        for h in points:
            out.write("%.4f\t%.4f\t%.4f\n" % tuple(h))


def main():
    os.makedirs("recordings", exist_ok=True)
    rng = random.Random(13)
    spiky = [sensor(unit_vector(rng), rng, NOISE) for _ in range(COUNT)]
    for k in range(COUNT // 100, COUNT, COUNT // 40):
        spiky[k] = [c + rng.gauss(0.0, HM / 2) for c in spiky[k]]
    write("spiky.txt", spiky)
    rng = random.Random(14)
    write("cap.txt", [sensor(cap(rng, 0.3, (0.36, -0.48, 0.8)), rng, 0.02 * HM) for _ in range(COUNT)])
    rng = random.Random(15)
    write("flat.txt", [sensor(flat(rng, math.radians(60), math.radians(2)), rng, NOISE) for _ in range(COUNT)])


if __name__ == "__main__":
    main()
