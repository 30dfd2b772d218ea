#!/usr/bin/env python3
"""An independent model of Boska's start-up, first frame, plant growth and
branch stroke, written from the design in plain Python (doubles, with
struct-based rounding to single), used to work out the golden trace.

    python3 model.py RANDOM_FILE WIDTH HEIGHT > TRACE

It stops, like boska-render, when the random numbers run out.
"""
import math
import struct
import sys
from decimal import Decimal


class RanOut(Exception):
    pass


def single(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def to16(x):
    assert math.isfinite(x)
    r = round(x)  # Python rounds halves to even
    if not -32768 <= r <= 32767:
        raise OverflowError(x)
    return r


def floor16(x):
    r = math.floor(x)
    if not -32768 <= r <= 32767:
        raise OverflowError(x)
    return r


def shortest(v):
    """What std::to_chars(float) writes: the fewest significant digits that
    read back as the same single, fixed or scientific, whichever is shorter
    (fixed on a tie)."""
    for precision in range(1, 10):
        text = format(v, '.%dg' % precision)
        if single(float(text)) == v:
            break
    d = Decimal(text)
    fixed = format(d, 'f')
    if '.' in fixed:
        fixed = fixed.rstrip('0').rstrip('.')
    sign, digits, exponent = d.normalize().as_tuple()
    mantissa = ''.join(map(str, digits))
    power = exponent + len(digits) - 1
    sci = ('-' if sign else '') + mantissa[0] + ('.' + mantissa[1:] if len(mantissa) > 1 else '')
    sci += 'e%s%02d' % ('-' if power < 0 else '+', abs(power))
    return sci if len(sci) < len(fixed) else fixed


class Model:
    def __init__(self, numbers, width, height, out):
        self.numbers = iter(numbers)
        self.out = out
        self.ScrW = to16(width)
        self.ScrH = to16(height)
        self.MaxSpread = single(3.141593 / 2)
        self.SpreadCut = single(0.8)
        self.MaxLen = 360
        self.Segs = 5
        self.MaxJitter = 10
        self.JitterK = single(1.0)
        self.BranchVar = single(0.0)
        self.Taper = single(0.9)
        self.Cur = 0
        self.Gray = 0

    def rnd(self):
        try:
            return next(self.numbers)
        except StopIteration:
            raise RanOut()

    def emit(self, *fields):
        self.out.write(' '.join(str(f) for f in fields) + '\n')

    def first_frame(self):
        for index in (0, 1):
            self.emit('move', index, 0, 0, self.ScrW, self.ScrH)
        self.emit('frame', 1)
        self.Cur = 1 - self.Cur
        self.emit('cls', self.Cur)
        self.emit('paint', self.Cur, 1 - self.Cur, 100, 50, self.ScrW - 100, self.ScrH - 100, 0,
                  0, self.ScrW, self.ScrH)
        self.Gray = (self.Gray + 95) % 170
        r = self.rnd()
        x = to16(self.ScrW / (r + 3.0))
        self.next_vetw(x, 0, 32, 0.0, 0)

    def ch_vetok(self, nn):
        r = self.rnd()
        v = (r * 6.3 - 5) + (nn / 9) * 6.3
        s = -1 if v < 0 else (0 if v < 1 else 1)
        return to16(single(s) * self.BranchVar + 2)

    def next_vetw(self, x, y, fat, alfa, n):
        count = self.ch_vetok(n)
        b = 1
        while b <= count:
            r1 = self.rnd()
            spread = (1 - (1 - n / 10) * self.SpreadCut) * self.MaxSpread
            a = single((r1 + r1 - 1) * spread + alfa)
            w = floor16(fat / ((b - 1) / 3 + 1) * self.Taper)
            if w >= 1:
                r2 = self.rnd()
                length = to16(self.MaxLen / (n + 1) * r2)
                xe = to16(x + length * math.sin(a))
                ye = to16(y + length * math.cos(a))
                self.draw_line(x, self.ScrH - y, xe, self.ScrH - ye, fat, w, n)
                self.next_vetw(xe, ye, w, a, n + 1)
            b += 1

    @staticmethod
    def ot_do(a, b, otn):
        return to16((b - a) * otn + a)

    def draw_line(self, x1, y1, x2, y2, w1, w2, nn):
        colour = self.Gray + 256 * self.Gray + 65536 * self.Gray
        self.emit('pos', self.Cur, x1, y1)
        i = 1
        while i <= self.Segs - 1:
            f = single(i / self.Segs)
            self.emit('width', self.Cur, self.ot_do(w1, w2, f))
            q = self.ot_do(self.MaxJitter, 0, single(nn / 10))
            jitter = single(self.MaxJitter - q * self.JitterK)
            px = self.ot_do(x1, x2, f)
            r1 = self.rnd()
            py = self.ot_do(y1, y2, f)
            r2 = self.rnd()
            x = single(px + (2 * r1 - 1) * jitter)
            y = single(py + (2 * r2 - 1) * jitter)
            self.emit('line', self.Cur, shortest(x), shortest(y), colour)
            i += 1
        f = single(i / self.Segs)
        self.emit('width', self.Cur, self.ot_do(w1, w2, f))
        self.emit('line', self.Cur, self.ot_do(x1, x2, f), self.ot_do(y1, y2, f), colour)


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(path) as f:
        numbers = [single(float(line)) for line in f]
    model = Model(numbers, width, height, sys.stdout)
    try:
        model.first_frame()
    except RanOut:
        pass


if __name__ == '__main__':
    main()
