# Frames each line of a session file as one language-server message; @DIR@ stands for
# the directory given as the second argument.
import sys

session, directory = sys.argv[1], sys.argv[2]
out = bytearray()
with open(session, encoding="utf-8") as f:
    for line in f:
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        body = line.replace("@DIR@", directory).encode("utf-8")
        out += b"Content-Length: %d\r\n\r\n" % len(body) + body
sys.stdout.buffer.write(bytes(out))
