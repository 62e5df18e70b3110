# Checks the framing of everything the server wrote and prints one body per line.
import sys

data = sys.stdin.buffer.read()
pos = 0
while pos < len(data):
    head = b"Content-Length: "
    if not data.startswith(head, pos):
        sys.exit("bad frame at %d: %r" % (pos, data[pos:pos + 40]))
    end = data.index(b"\r\n\r\n", pos)
    n = int(data[pos + len(head):end])
    body = data[end + 4:end + 4 + n]
    if len(body) != n:
        sys.exit("short body at %d" % pos)
    sys.stdout.write(body.decode("utf-8") + "\n")
    pos = end + 4 + n
