"""Reference evaluator of the script VM's number, Boolean, vector and matrix expressions.

Written from the rules of the expressions, independently of the C++ code: Python integers masked
to 32 bits for Int, struct for every rounding to a 32-bit float, math for the functions (in double
precision), round() for the rounding to Int (ties to even), '%.3g' for the texts of Floats. Where
math raises (a domain error, an overflow, a pole), the answer is what C's Annex F gives.

Usage: ExpressionReference.py CASES
Each line of CASES is one case, an operation name and its arguments in hexadecimal (words of 32
bits; floats by their bits). One line of results is printed per case, words in hexadecimal;
"none" where the expression changes nothing.

  bin OP T1 W1 T2 W2   OP 0..8 (Add Sub Mult Div Power Sup SupEgal Inf InfEgal) -> T W, or the
                       Bool word for a comparison
  neg T W              -> T W
  fn KIND T W          -> T W ("keep" for the word when the function leaves it)
  text T W             -> the text of a Num
  comp T W             -> the float word of a vector component
  vadd2 A B / vsub2 A B / vneg2 A / vmult2 ST SW A       (A, B: two words) -> two words
  vadd3 / vsub3 / vneg3 / vmult3 / cross                 (three words each) -> three words
  multiso A T          (A: three words, T: twelve) -> three words
  isomult A B / isoinv A                                 (twelve words each) -> twelve words
  dot2 A B / dot3 A B  -> one word
  equal2 A B / equal3 A B -> 1 or 0
  eps                  -> the word of 0.00001 squared in single precision
  group W              -> the word as a signed decimal, digits in groups of three with blanks
  upper X / lower X    (X: bytes in hexadecimal, "-" for none) -> the bytes, ASCII letters changed
  cut B K S P          (B before flag, K keep-separator, S source and P separator as bytes) ->
                       the bytes kept
  utf8 X               (X: UTF-16 little-endian bytes) -> the UTF-8 bytes, EF BB BF first when
                       some character is 128 or above
  len A                (A: two or three words) -> the word of the length, in double, rounded once
"""

import math
import struct
import sys

INT_MIN_WORD = 0x80000000


def to_i32(x):
    x &= 0xFFFFFFFF
    return x - (1 << 32) if x & 0x80000000 else x


def to_u32(x):
    return x & 0xFFFFFFFF


def f32(x):
    """A double rounded once to single precision; an overflow gives an infinity."""
    try:
        return struct.unpack('<f', struct.pack('<f', x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def float_of(word):
    return struct.unpack('<f', struct.pack('<I', word))[0]


def word_of(x):
    return struct.unpack('<I', struct.pack('<f', f32(x)))[0]


def is_odd_integer(y):
    return math.isfinite(y) and y == math.floor(y) and int(y) % 2 == 1


def c_pow(x, y):
    try:
        return math.pow(x, y)
    except OverflowError:
        return -math.inf if x < 0 and is_odd_integer(y) else math.inf
    except ValueError:
        if x == 0:
            return math.copysign(math.inf, x) if is_odd_integer(y) else math.inf
        return math.nan


def c_div(a, b):
    if b != 0:
        return a / b
    if math.isnan(a) or a == 0:
        return math.nan
    return math.copysign(1.0, a) * math.copysign(1.0, b) * math.inf


def int_div(a, b):
    if b == 0:
        return 0
    q = abs(a) // abs(b)
    return -q if (a < 0) != (b < 0) else q


def int_power(a, b):
    p = c_pow(float(a), float(b))
    if math.isnan(p) or not (-2.0 ** 63 <= p < 2.0 ** 63):
        return -(1 << 63)
    return int(p)


COMPARISONS = {
    5: lambda a, b: a > b,
    6: lambda a, b: a >= b,
    7: lambda a, b: a < b,
    8: lambda a, b: a <= b,
}


def binary(op, t1, w1, t2, w2):
    if t1 not in (0, 1):
        return 'none'
    if t1 == 0 and t2 != 1:
        a, b = to_i32(w1), to_i32(w2)
        if op in COMPARISONS:
            return '%x' % int(COMPARISONS[op](a, b))
        value = [a + b, a - b, a * b, int_div(a, b), int_power(a, b)][op]
        return '0 %x' % to_u32(value)
    a = float(to_i32(w1)) if t1 == 0 else float_of(w1)
    b = float_of(w2) if t2 == 1 else float(to_i32(w2))
    if op in COMPARISONS:
        return '%x' % int(COMPARISONS[op](a, b))
    value = [lambda: a + b, lambda: a - b, lambda: a * b, lambda: c_div(a, b),
             lambda: c_pow(a, b)][op]()
    return '1 %x' % word_of(value)


def negate(t, w):
    if t == 0:
        return '0 %x' % to_u32(-to_i32(w))
    return '1 %x' % word_of(-float_of(w))


def c_function(kind, x):
    if kind == 0:
        return abs(x)
    if kind == 1:
        return math.nan if x < 0 else math.sqrt(x)
    if kind in (2, 3, 4):
        if math.isinf(x):
            return math.nan
        return [math.cos, math.sin, math.tan][kind - 2](x)
    if kind in (5, 6):
        return math.nan if not -1 <= x <= 1 else [math.acos, math.asin][kind - 5](x)
    if kind == 7:
        return math.atan(x)
    if kind == 8:
        try:
            return math.exp(x)
        except OverflowError:
            return math.inf
    if x == 0:
        return -math.inf
    return math.nan if x < 0 or math.isnan(x) else math.log(x)


def function(kind, t, w):
    if t not in (0, 1):
        return 'none'
    x = f32(float(to_i32(w))) if t == 0 else float_of(w)
    if kind == 10:
        try:
            r = round(x)
        except (OverflowError, ValueError):
            return '0 %x' % INT_MIN_WORD
        return '0 %x' % (to_u32(r) if -2 ** 31 <= r < 2 ** 31 else INT_MIN_WORD)
    if kind > 10:
        return '1 keep'
    if math.isnan(x) and kind != 0:
        return '1 %x' % word_of(math.nan)
    return '1 %x' % word_of(c_function(kind, x))


def text(t, w):
    if t == 0:
        return '%d' % to_i32(w)
    return '%.3g' % float_of(w)


def component(t, w):
    return f32(float(to_i32(w))) if t == 0 else float_of(w)


def words(values):
    return ' '.join('%x' % word_of(v) for v in values)


def matrix(ws):
    m = [float_of(w) for w in ws]
    return [m[0:3], m[3:6], m[6:9]], m[9:12]


def vector_case(name, ws):
    f = [float_of(w) for w in ws]
    if name in ('vadd2', 'vadd3'):
        n = len(f) // 2
        return words(f[i] + f[n + i] for i in range(n))
    if name in ('vsub2', 'vsub3'):
        n = len(f) // 2
        return words(f[i] - f[n + i] for i in range(n))
    if name in ('vneg2', 'vneg3'):
        return ' '.join('%x' % (w ^ 0x80000000) for w in ws)
    if name in ('vmult2', 'vmult3'):
        s = component(ws[0], ws[1])
        return words(s * float_of(w) for w in ws[2:])
    if name == 'cross':
        ax, ay, az, bx, by, bz = f
        return words([ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx])
    if name == 'multiso':
        r, t = matrix(ws[3:])
        return words(r[i][0] * f[0] + r[i][1] * f[1] + r[i][2] * f[2] + t[i] for i in range(3))
    if name == 'isomult':
        ra, ta = matrix(ws[:12])
        rb, tb = matrix(ws[12:])
        out = [rb[i][0] * ra[0][j] + rb[i][1] * ra[1][j] + rb[i][2] * ra[2][j]
               for i in range(3) for j in range(3)]
        out += [rb[i][0] * ta[0] + rb[i][1] * ta[1] + rb[i][2] * ta[2] + tb[i] for i in range(3)]
        return words(out)
    if name == 'isoinv':
        transposed = [ws[j * 3 + i] for i in range(3) for j in range(3)]
        ra, ta = matrix(ws)
        t = [-(ra[0][i] * ta[0] + ra[1][i] * ta[1] + ra[2][i] * ta[2]) for i in range(3)]
        return ' '.join('%x' % w for w in transposed) + ' ' + words(t)
    if name in ('dot2', 'dot3'):
        n = len(f) // 2
        total = f[0] * f[n]
        for i in range(1, n):
            total = total + f[i] * f[n + i]
        return words([total])
    if name in ('equal2', 'equal3'):
        n = len(f) // 2
        total = 0.0
        for i in range(n):
            d = f[i] - f[n + i]
            total = d * d if i == 0 else total + d * d
        return '%x' % int(total < f32(f32(1e-5) * f32(1e-5)))
    raise ValueError(name)


def unhex(arg):
    return b'' if arg == '-' else bytes.fromhex(arg)


def hexed(data):
    return data.hex() or '-'


def cut(before, keep, source, separator):
    at = source.find(separator)
    if at < 0:
        return source
    if before:
        return source[:at + len(separator)] if keep else source[:at]
    return source[at:] if keep else source[at + len(separator):]


def text_case(line):
    parts = line.split()
    name = parts[0]
    if name == 'upper':
        return hexed(unhex(parts[1]).upper())
    if name == 'lower':
        return hexed(unhex(parts[1]).lower())
    if name == 'cut':
        return hexed(cut(int(parts[1]), int(parts[2]), unhex(parts[3]), unhex(parts[4])))
    if name == 'utf8':
        text = unhex(parts[1]).decode('utf-16-le')
        data = text.encode('utf-8')
        return hexed(b'\xef\xbb\xbf' + data if any(ord(c) >= 128 for c in text) else data)
    return None


def evaluate(line):
    answer = text_case(line)
    if answer is not None:
        return answer
    parts = line.split()
    name, args = parts[0], [int(p, 16) for p in parts[1:]]
    if name == 'bin':
        return binary(*args)
    if name == 'neg':
        return negate(*args)
    if name == 'fn':
        return function(*args)
    if name == 'text':
        return text(*args)
    if name == 'comp':
        return '%x' % word_of(component(*args)) if args[0] == 0 else '%x' % args[1]
    if name == 'group':
        return '{:,}'.format(to_i32(args[0])).replace(',', ' ')
    if name == 'len':
        return '%x' % word_of(math.sqrt(sum(float_of(w) * float_of(w) for w in args)))
    if name == 'eps':
        return '%x' % word_of(f32(1e-5) * f32(1e-5))
    return vector_case(name, args)


def main():
    with open(sys.argv[1]) as cases:
        out = [evaluate(line) for line in cases if line.strip()]
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
