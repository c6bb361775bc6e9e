"""Copies standard input to standard output, each line prefixed with the wall-clock time."""
import sys
import time

for line in sys.stdin.buffer:
    sys.stdout.buffer.write(b"%.4f " % time.time() + line.rstrip(b"\r\n") + b"\n")
    sys.stdout.buffer.flush()
