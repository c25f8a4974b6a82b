#!/usr/bin/python3
"""K-weighted loudness of a render, bar by bar and section by section.

Reads a 32-bit float stereo WAV at 44100 Hz (the renderer's output) and prints
the loudness (LUFS, ITU-R BS.1770 K-weighting) of every bar of the 180 BPM
grid (a bar is 58800 frames, bar 1 starts at frame 0), the gated integrated
loudness of each section, the largest sample and the 4x oversampled peak.

  scripts/bar-loudness.py WAV [--bars A-B] [--sections FILE.score]

Without --sections the sections are read from content/score/lumenfrost.score.
Needs python3-numpy and python3-scipy (Debian packages).
"""
import argparse
import math
import os
import re
import sys

try:
    import numpy as np
    from scipy.signal import lfilter, resample_poly
except ImportError:
    sys.exit("bar-loudness: needs python3-numpy and python3-scipy "
             "(apt-get install python3-numpy python3-scipy)")

RATE = 44100
BAR = 58800          # frames in a bar at 180 BPM
BEAT = BAR // 4


def read_wav(path):
    """The frames of a float stereo WAV as an (n, 2) float64 array."""
    try:
        data = open(path, "rb").read()
    except OSError as e:
        sys.exit(f"bar-loudness: cannot read {path}: {e.strerror}")
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"bar-loudness: {path} is not a WAV file")
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "little")
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = (int.from_bytes(body[0:2], "little"), int.from_bytes(body[2:4], "little"),
                   int.from_bytes(body[4:8], "little"), int.from_bytes(body[14:16], "little"))
        elif cid == b"data":
            if fmt is None:
                sys.exit(f"bar-loudness: {path}: data before the format chunk")
            tag, channels, rate, bits = fmt
            if tag not in (3, 0xFFFE) or channels != 2 or rate != RATE or bits != 32:
                sys.exit(f"bar-loudness: {path}: need 32-bit float stereo at {RATE} Hz "
                         f"(format {tag}, {channels} channels, {rate} Hz, {bits} bits)")
            n = len(body) // 8
            return np.frombuffer(body[:n * 8], dtype="<f4").reshape(n, 2).astype(np.float64)
        pos += 8 + size + (size & 1)
    sys.exit(f"bar-loudness: {path}: no data chunk")


def k_weight(x):
    """The two BS.1770 stages (high shelf, then high-pass) at 44100 Hz."""
    k = math.tan(math.pi * 1681.974450955533 / RATE)
    q = 0.7071752369554196
    vh = 10 ** (3.999843853973347 / 20)
    vb = vh ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    b = [(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0]
    a = [1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]
    y = lfilter(b, a, x, axis=0)
    k = math.tan(math.pi * 38.13547087602444 / RATE)
    q = 0.5003270373238773
    a0 = 1 + k / q + k * k
    return lfilter([1, -2, 1], [1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0], y, axis=0)


def lufs(power):
    return -0.691 + 10 * math.log10(power) if power > 0 else -math.inf


def block_power(z, start, end):
    """Mean square summed over both channels of K-weighted frames [start, end)."""
    seg = z[start:end]
    return float(np.sum(np.mean(seg * seg, axis=0))) if len(seg) else 0.0


def integrated(z, start, end):
    """Gated loudness of frames [start, end): 400 ms blocks every 100 ms,
    absolute gate -70 LUFS, relative gate 10 LU under the ungated mean."""
    size, hop = int(0.4 * RATE), int(0.1 * RATE)
    sq = np.sum(z[start:end] ** 2, axis=1)
    csum = np.concatenate(([0.0], np.cumsum(sq)))
    starts = np.arange(0, max(0, end - start - size) + 1, hop)
    if len(starts) == 0:
        return lufs(block_power(z, start, end))
    powers = (csum[starts + size] - csum[starts]) / size
    kept = powers[powers > 10 ** ((-70 + 0.691) / 10)]
    if len(kept) == 0:
        return -math.inf
    gate = 10 ** ((lufs(float(np.mean(kept))) - 10 + 0.691) / 10)
    kept = kept[kept > gate]
    return lufs(float(np.mean(kept))) if len(kept) else -math.inf


def read_sections(path):
    """(name, first bar) of every `section` statement, in order."""
    out = []
    try:
        for line in open(path):
            m = re.match(r"\s*section\s+(\S+)\s+(\d+)", line)
            if m:
                out.append((m.group(1), int(m.group(2))))
    except OSError as e:
        sys.exit(f"bar-loudness: cannot read {path}: {e.strerror}")
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("wav")
    ap.add_argument("--bars", help="only these bars, e.g. 60-80")
    ap.add_argument("--sections", default=os.path.join(here, "..", "content", "score",
                                                        "lumenfrost.score"))
    args = ap.parse_args()

    x = read_wav(args.wav)
    z = k_weight(x)
    nbars = (len(x) + BAR - 1) // BAR
    first, last = 1, nbars
    if args.bars:
        m = re.fullmatch(r"(\d+)(?:-(\d+))?", args.bars)
        if not m:
            sys.exit(f"bar-loudness: --bars wants A or A-B, not '{args.bars}'")
        first, last = int(m.group(1)), int(m.group(2) or m.group(1))
        if not 1 <= first <= last <= nbars:
            sys.exit(f"bar-loudness: bars {args.bars} outside 1-{nbars}")

    print("bar  LUFS    change")
    prev = None
    for b in range(first, last + 1):
        v = lufs(block_power(z, (b - 1) * BAR, min(b * BAR, len(x))))
        d = "" if prev is None or not math.isfinite(prev) or not math.isfinite(v) else f"{v - prev:+6.1f}"
        print(f"{b:3d}  {v:6.1f}  {d}")
        prev = v

    sections = read_sections(args.sections)
    if sections:
        print("\nsection          bars      LUFS (gated)")
        for i, (name, bar) in enumerate(sections):
            end = sections[i + 1][1] - 1 if i + 1 < len(sections) else nbars
            lo, hi = (bar - 1) * BAR, min(end * BAR, len(x))
            print(f"{name:15s} {bar:3d}-{end:<3d}  {integrated(z, lo, hi):6.1f}")

    peak = float(np.max(np.abs(x)))
    over = int(np.sum(np.abs(x) > 1.0))
    tp = max(float(np.max(np.abs(resample_poly(x[:, c], 4, 1)))) for c in range(2))
    print(f"\nintegrated {integrated(z, 0, len(x)):.1f} LUFS, largest sample {peak:.4f} "
          f"({20 * math.log10(peak):+.2f} dBFS, {over} above 1.0), "
          f"4x oversampled peak {20 * math.log10(tp):+.2f} dBTP")


if __name__ == "__main__":
    main()
