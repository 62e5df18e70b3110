# Writes a session with a length far too large, a header block without a length, and
# bodies holding a control byte and a byte that is not UTF-8.
import sys


def frame(body):
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


out = frame(b'{"id":1,"method":"initialize","params":{}}')
out += b"Content-Length: 9223372036854775807\r\n\r\n" + b'{"id":5,"method":"initialize"}'
out += frame(b'{"method":"one"}')
out += b"X-Editor: test\r\n\r\n" + b'{"id":6,"method":"initialize"}'
out += frame(b'{"method":"tw\x01o"}')
out += frame(b'{"method":\xff')
out += frame(b'{"id":2,"method":"shutdown"}')
out += frame(b'{"method":"exit"}')
sys.stdout.buffer.write(out)
