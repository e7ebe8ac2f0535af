#!/usr/bin/env python3
"""Writes recordings/axes-mirrored.csv: the sensor of sample.txt (same A0, b0,
Hm and noise) beside an accelerometer and a gyroscope, turned by hand from
rest to rest, as a log with the header t,mx,my,mz,ax,ay,az,gx,gy,gz.

The magnetometer's y axis is reversed against the accelerometer's, as a
board whose magnetometer driver negates one axis: the axes check names the
mirror and the axis. The hand rests 30 times at random attitudes for a
second (50 readings a second), and turns between rests in 1.5 seconds,
pushing the accelerometer by up to 2 m/s^2. The field dips 64 degrees below
north; the accelerometer reads +9.81 m/s^2 on the axis pointing up at rest,
the gyroscope rad/s.

Fixed seed: the file is the same on every run. Standard library only."""
import math
import os
import random

from make_sample import A0, B0, HM, NOISE

RATE = 50
RESTS = 30
REST_READINGS = 50
TURN_READINGS = 75
INCLINATION = math.radians(64.0)
GRAVITY = 9.81
PUSH = 2.0
ACCEL_NOISE = 0.02
GYRO_NOISE = 0.002
MOUNT = [[1, 0, 0], [0, -1, 0], [0, 0, 1]]  # magnetometer axes to accelerometer axes


def quaternion_product(a, b):
    return [a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
            a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
            a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]]


def random_attitude(rng):
    q = [rng.gauss(0, 1) for _ in range(4)]
    n = math.sqrt(sum(c * c for c in q))
    return [c / n for c in q]


def matrix(q):
    # Body to world (north, east, down).
    w, x, y, z = q
    return [[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
            [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
            [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)]]


def in_body(q, v):
    c = matrix(q)
    return [sum(c[j][i] * v[j] for j in range(3)) for i in range(3)]


def turn(a, b):
    # The rotation vector (body axes) that takes attitude a to b.
    conj = [a[0], -a[1], -a[2], -a[3]]
    r = quaternion_product(conj, b)
    if r[0] < 0:
        r = [-c for c in r]
    s = math.sqrt(r[1] ** 2 + r[2] ** 2 + r[3] ** 2)
    angle = 2 * math.atan2(s, r[0])
    return [angle * c / s for c in r[1:]] if s > 0 else [0.0, 0.0, 0.0]


def rotated(a, v, share):
    angle = share * math.sqrt(sum(c * c for c in v))
    if angle == 0:
        return a
    axis = [c / math.sqrt(sum(d * d for d in v)) for c in v]
    step = [math.cos(angle / 2)] + [math.sin(angle / 2) * c for c in axis]
    return quaternion_product(a, step)


def reading(q, rate, push, rng):
    field = [HM * math.cos(INCLINATION), 0.0, HM * math.sin(INCLINATION)]
    f = in_body(q, field)
    up = in_body(q, [0.0, 0.0, -1.0])
    f_mag = [sum(MOUNT[j][i] * f[j] for j in range(3)) for i in range(3)]
    h = [B0[i] + sum(A0[i][j] * f_mag[j] for j in range(3)) + rng.gauss(0.0, NOISE) for i in range(3)]
    a = [GRAVITY * up[i] + push[i] + rng.gauss(0.0, ACCEL_NOISE) for i in range(3)]
    g = [rate[i] + rng.gauss(0.0, GYRO_NOISE) for i in range(3)]
    return h + a + g


def main():
    rng = random.Random(35)
    rows = []
    q = random_attitude(rng)
    for rest in range(RESTS):
        for _ in range(REST_READINGS):
            rows.append(reading(q, [0.0, 0.0, 0.0], [0.0, 0.0, 0.0], rng))
        if rest == RESTS - 1:
            break
        target = random_attitude(rng)
        v = turn(q, target)
        direction = [rng.gauss(0, 1) for _ in range(3)]
        n = math.sqrt(sum(c * c for c in direction))
        for k in range(1, TURN_READINGS + 1):
            # Smooth from standstill to standstill: the share turned follows
            # a half cosine, the push a full sine of the same span.
            share = 0.5 * (1 - math.cos(math.pi * k / TURN_READINGS))
            speed = 0.5 * math.pi / TURN_READINGS * RATE * math.sin(math.pi * k / TURN_READINGS)
            push = [PUSH * math.sin(2 * math.pi * k / TURN_READINGS) * c / n for c in direction]
            rows.append(reading(rotated(q, v, share), [speed * c for c in v], push, rng))
        q = target
    os.makedirs("recordings", exist_ok=True)
    with open(os.path.join("recordings", "axes-mirrored.csv"), "w", newline="\n") as out:
        out.write("t,mx,my,mz,ax,ay,az,gx,gy,gz\n")
        for k, row in enumerate(rows):
            out.write("%.2f," % (k / RATE) + ",".join("%.4f" % c for c in row) + "\n")


if __name__ == "__main__":
    main()
