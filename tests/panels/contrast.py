'''contrast.py <screenshot of a panel strip>: the status icon's contrast with the panel.

The strip's most common colour is the panel's; pixels that differ from it are the icon (the
panel holds nothing else). Prints "ok" when at least 20 icon pixels stand 3:1 or more from the
panel, with the panel's colour and the best ratio; "low" otherwise.
'''
import collections
import subprocess
import sys


def pixels(path):
    data = subprocess.run(['convert', path, '-depth', '8', 'ppm:-'], check=True,
                          capture_output=True).stdout
    # P6, width, height, 255, then the bytes.
    fields, rest = [], data
    while len(fields) < 4:
        rest = rest.lstrip()
        cut = rest.index(b'\n') if len(fields) == 3 else min(
            i for i in (rest.find(b' '), rest.find(b'\n')) if i >= 0)
        fields.append(rest[:cut])
        rest = rest[cut + 1:] if len(fields) == 4 else rest[cut:]
    return [tuple(rest[i:i + 3]) for i in range(0, len(rest) - 2, 3)]


def luminance(rgb):
    def channel(v):
        v /= 255
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = rgb
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def ratio(a, b):
    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def main():
    strip = pixels(sys.argv[1])
    panel = collections.Counter(strip).most_common(1)[0][0]
    ratios = [ratio(p, panel) for p in strip if p != panel]
    legible = sum(1 for r in ratios if r >= 3)
    best = max(ratios, default=1)
    verdict = 'ok' if legible >= 20 else 'low'
    print('%s: panel #%02x%02x%02x, %d pixels at 3:1 or more, best %.1f:1'
          % ((verdict,) + panel + (legible, best)))


main()
