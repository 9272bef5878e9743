#!/usr/bin/env python3
"""A small checkout application on the Kestro library, as a till would use
it: open the reader, set its configuration, read one card, and get over
each failure on the way. It prints one line per step. It knows nothing of
the virtual reader; KESTRO_LIBRARY names the library (default
libkestro.so)."""
import ctypes
import os
import sys

MR_PID_IDTECH = 0x05A0
MR_READ_BUF_LEN = 1024
TRIES = 3


def say(text):
    print(text, flush=True)


def main():
    lib = ctypes.CDLL(os.environ.get("KESTRO_LIBRARY", "libkestro.so"))
    lib.SetID(MR_PID_IDTECH)
    if lib.OpenUSB() != 0:
        say("no reader found")
        return 2
    state = (ctypes.c_ubyte * 7)(0x30, 0x31, 0, 0, 0, 0, 0)
    for _ in range(TRIES):
        rc = lib.SetMrStateEx(state)
        if rc == 0:
            say("configured")
            break
        say(f"reader refused the configuration ({rc}), trying again")
    else:
        say("giving up on the configuration")
        return 3
    buf = (ctypes.c_ubyte * MR_READ_BUF_LEN)()
    for _ in range(TRIES):
        say("please swipe a card")
        rc = lib.ReadData(buf, 5000, 0)
        if rc == 0:
            break
        say(f"read failed ({rc})")
    else:
        say("no card")
        return 3
    # The buffer: the report's length (2 bytes, low first), then the report.
    # IDTECH layout: track 1 status in byte 1, its length in byte 4, the
    # text from byte 10.
    report = bytes(buf[2:2 + (buf[0] | buf[1] << 8)])
    if report[1] != 0:
        say("track 1 unreadable, please swipe again")
        return 3
    say("track 1: " + report[10:10 + report[4]].decode("ascii"))
    lib.CloseUSB()
    return 0


if __name__ == "__main__":
    sys.exit(main())
