# Checks the lines "<bits> <text>" of float_roundtrip: each text reads back to the same
# f64 and has the fewest significant digits of any C "%.{p-1}e" text that reads back.
import struct, sys

def fewest_digits(x):
    for p in range(1, 18):
        if float('%.*e' % (p - 1, x)) == x:
            return p
    return 17

def digits_of(text):
    mantissa = text.lstrip('-').split('e')[0].replace('.', '')
    return len(mantissa.strip('0')) or 1

lines = sys.stdin.read().splitlines()
assert lines[-1] == 'failures: 0', lines[-1]
values = lines[:-1]
assert len(values) == 100000, len(values)
for line in values:
    bits, text = line.split(' ')
    x = struct.unpack('<d', struct.pack('<Q', int(bits)))[0]
    back = struct.unpack('<Q', struct.pack('<d', float(text)))[0]
    if back != int(bits):
        sys.exit('does not read back: ' + line)
    if text in ('inf', '-inf'):
        continue
    if digits_of(text) != fewest_digits(x):
        sys.exit('not shortest (%d digits): %s' % (fewest_digits(x), line))
print('checked', len(values))
