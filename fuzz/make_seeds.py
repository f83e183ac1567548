#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Plug-in targets get valid calls of their plug-in (and a few near misses), in
the input layout that fuzz_plugin.cpp reads; kernel targets get a few byte
strings of different lengths, since any input is a valid case for them.
Run again after changing that layout: python3 fuzz/make_seeds.py
"""
import os
import random
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# Class numbers of fuzz_plugin.cpp (its `classes` table).
DOUBLE, SINGLE, INT8, UINT8, INT16, UINT16, INT32, UINT32, INT64, UINT64, LOGICAL, CHAR = range(12)
FORMATS = {DOUBLE: "d", SINGLE: "f", INT8: "b", UINT8: "B", INT16: "h", UINT16: "H", INT32: "i",
           UINT32: "I", INT64: "q", UINT64: "Q", LOGICAL: "B", CHAR: "H"}


def raw(cls, dims, values, offset=None):
    """An argument whose values are given element by element (fill mode 0)."""
    flags = 0 if offset is None else 4
    out = bytes([cls, flags, len(dims)]) + bytes(dims)
    if offset is not None:
        out += bytes([offset])
    return out + b"".join(struct.pack("<" + FORMATS[cls], v) for v in values)


def ramp(cls, dims, start, step, modulo):
    """start + k * step (mod modulo): valid column numbers (fill mode 3)."""
    return bytes([cls, 0x30, len(dims)]) + bytes(dims) + struct.pack("<bbB", start, step, modulo)


def small(cls, dims, count, rng):
    """Small signed values, one byte each (fill mode 2)."""
    return bytes([cls, 0x20, len(dims)]) + bytes(dims) + bytes(rng.randrange(256) for _ in range(count))


def special(cls, dims, picks):
    """Values from the special table (fill mode 1): NaN, Inf, 2^53, ..."""
    return bytes([cls, 0x10, len(dims)]) + bytes(dims) + bytes(picks)


def name(letters, column=False):
    """disk_sync's file name: indices into its alphabet (0 'a', 1 'b', 2 'c', 4 'p', 5 NUL)."""
    return bytes([CHAR, 0, 2, 1, len(letters)]) + bytes(letters) + bytes([1 if column else 0])


def call(nlhs, *args):
    return bytes([(nlhs << 4) | len(args)]) + b"".join(args)


def words(rng, n, density=0.5):
    return [sum(1 << b for b in range(32) if rng.random() < density) for _ in range(n)]


def plugin_seeds(rng):
    t = lambda n: raw(UINT16, [1, 1], [n])
    R3 = words(rng, 3 * 20)
    R2 = words(rng, 2 * 24, 0.7)
    yield "bits_within", [
        call(1, raw(UINT32, [3, 20], words(rng, 60, 0.3)), raw(UINT32, [3, 20], R3),
             ramp(UINT32, [1, 12], 0, 3, 20), t(2)),
        call(1, raw(UINT32, [2, 18], words(rng, 36, 0.2)), raw(UINT32, [2, 24], R2, offset=4),
             ramp(DOUBLE, [1, 9], 1, 5, 24), raw(DOUBLE, [1, 1], [1.0])),
        call(1, raw(UINT32, [0, 5], []), raw(UINT32, [0, 4], []), raw(DOUBLE, [1, 2], [0.0, 3.9]), t(0)),
        call(1, raw(UINT32, [1, 2], [1, 2]), raw(UINT32, [1, 2], [3, 2]), raw(DOUBLE, [1, 1], [1.0]), t(1)),
    ]
    # pair_screen: a root without bits listing every column; a flat forest.
    n = 20
    yield "pair_screen", [
        call(1, raw(UINT32, [2, n], words(rng, 2 * n, 0.4)), ramp(UINT32, [2, 17], 0, 7, n),
             raw(UINT32, [2, 1], [0, 0]), raw(UINT32, [1, 1], [1]), raw(UINT64, [2, 1], [0, n - 1]), t(2)),
        call(1, raw(UINT32, [1, 6], words(rng, 6, 0.4)), ramp(DOUBLE, [2, 5], 0, 1, 6),
             raw(UINT32, [1, 3], [0, 0, 0]), raw(UINT32, [1, 3], [3, 2, 3]),
             raw(UINT64, [2, 3], [0, 1, 2, 3, 4, 5]), t(1)),
        call(1, raw(UINT32, [1, 4], [1, 2, 3, 4]), raw(UINT32, [2, 1], [0, 1]),
             raw(UINT32, [1, 1], [0]), raw(UINT32, [1, 1], [1]), raw(UINT64, [2, 1], [0, 3]), t(1)),
    ]
    yield "rational_approx", [
        call(2, special(DOUBLE, [4, 4], range(0, 64, 4)), raw(DOUBLE, [1, 1], [1e-6])),
        call(2, raw(DOUBLE, [1, 3], [3.141592653589793, -0.25, 1e300]), raw(DOUBLE, [1, 1], [0.0])),
        call(2, raw(DOUBLE, [2, 2], [0.5, 1.5, 2.5, -3.5]), raw(DOUBLE, [1, 1], [float("-inf")])),
        call(2, raw(DOUBLE, [1, 2], [0.1, 0.7]), raw(INT8, [1, 1], [-1])),
    ]
    yield "disk_sync", [
        call(0, name([0])), call(0, name([0, 1], column=True)), call(0, name([1])),
        call(0, name([2])), call(0, name([4])), call(0, name([0, 5])), call(0, name([0, 5, 1])),
        call(1, name([0])),
    ]
    yield "pattern_tree", [
        call(4, raw(UINT32, [2, 30], words(rng, 60, 0.3)), raw(DOUBLE, [1, 1], [2.0])),
        call(4, raw(UINT32, [1, 40], words(rng, 40, 0.5)), raw(DOUBLE, [1, 1], [4.0]), raw(LOGICAL, [1, 1], [1])),
        call(3, raw(UINT32, [3, 9], words(rng, 27, 0.1)), raw(DOUBLE, [1, 1], [1.0])),
        call(1, raw(UINT32, [0, 7], [])),
    ]
    yield "candidate_pairs", [
        call(1, raw(UINT32, [2, 24], words(rng, 48, 0.3)), ramp(UINT32, [1, 8], 0, 1, 24),
             ramp(UINT32, [1, 20], 4, 1, 24), raw(DOUBLE, [1, 1], [24.0]), t(2)),
        call(1, raw(UINT32, [3, 10], words(rng, 30, 0.2)), ramp(DOUBLE, [1, 4], 0, 2, 10),
             ramp(DOUBLE, [1, 5], 1, 2, 10), raw(UINT8, [1, 1], [40]), t(1)),
    ]
    yield "ray_signs", [
        call(1, small(INT64, [3, 4], 12, rng), small(INT64, [4, 5], 20, rng)),
        call(1, raw(INT64, [1, 3], [2 ** 62, -(2 ** 63), 2 ** 63 - 1]), raw(INT64, [3, 2], [2 ** 62, 1, 1, -3, 2 ** 63 - 1, 7])),
        call(1, raw(INT64, [2, 0], []), raw(INT64, [0, 3], [])),
    ]
    yield "ray_combine", [
        call(1, raw(INT64, [1, 3], [1, -1, 0]), raw(INT64, [3, 4], [1, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 1]),
             raw(UINT32, [2, 2], [0, 1, 2, 3])),
        call(1, raw(INT64, [1, 2], [2 ** 62, 3]), raw(INT64, [2, 2], [2 ** 62, -5, 7, 2 ** 63 - 1]),
             raw(DOUBLE, [2, 1], [0.0, 1.0])),
        call(1, raw(INT64, [1, 0], []), raw(INT64, [0, 2], []), raw(UINT32, [2, 1], [0, 1])),
    ]
    yield "integer_null_space", [
        call(2, small(INT64, [3, 5], 15, rng)),
        call(2, raw(INT64, [2, 3], [1, 2, 2, 4, 3, 6])),
        call(2, raw(INT64, [2, 3], [2 ** 62, 3, -(2 ** 63), 1, 5, 2 ** 63 - 1]), raw(LOGICAL, [1, 1], [0])),
        call(1, raw(INT64, [0, 4], [])),
    ]


def main():
    rng = random.Random(20261208)
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    def write(target, seeds):
        folder = os.path.join(CORPUS, target)
        os.makedirs(folder)
        for k, data in enumerate(seeds):
            with open(os.path.join(folder, "seed-%02d" % k), "wb") as f:
                f.write(data)
    for plugin, seeds in plugin_seeds(rng):
        write("fuzz_plugin_" + plugin, seeds)
    for kernel in ["subset_table", "tree_adjacency", "candidate_pairs", "approximate_ratio",
                   "ray_arithmetic", "integer_null_space"]:
        write("fuzz_kernel_" + kernel, [bytes(rng.randrange(256) for _ in range(n)) for n in (8, 32, 128, 512)])


if __name__ == "__main__":
    main()
