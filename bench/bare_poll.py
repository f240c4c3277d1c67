#!/usr/bin/env python3
# bare_poll.py DEVICE SECONDS: the same bare polling loop as fenwyd-bare-poll,
# as the short script a user might write first.
import os
import sys
import termios
import time
import tty

fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
tty.setraw(fd)
attrs = termios.tcgetattr(fd)
attrs[4] = attrs[5] = termios.B9600
termios.tcsetattr(fd, termios.TCSANOW, attrs)
end = time.monotonic() + int(sys.argv[2])
replies = 0
while time.monotonic() < end:
    os.write(fd, b"RD\r")
    time.sleep(0.300)
    try:
        got = len(os.read(fd, 1024)) > 0
    except BlockingIOError:
        got = False
    replies += got
    time.sleep(0.066)
os.close(fd)
print(replies)
