#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into fuzz/corpus/<target>/.

The targets that take structured input read it with libFuzzer's
FuzzedDataProvider: numbers come off the end of the input, byte strings off the
front. Input lays the two ends out in the order a target consumes them, so the
seeds below read as the calls and replies they stand for.

Run it after changing what a target reads; the files it writes are committed.
"""
import os
import shutil
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


class Input:
    """Builds one input for a FuzzedDataProvider reader."""

    def __init__(self):
        self.front = bytearray()
        self.back = []  # bytes in the order they are taken off the end

    def range(self, low, high, value, bits=8):
        """ConsumeIntegralInRange(low, high) giving value; bits is the type's width."""
        assert low <= value <= high
        span, raw, taken = high - low, value - low, []
        offset = 0
        while offset < bits and (span >> offset) > 0:
            taken.append(None)
            offset += 8
        # The first byte taken is the most significant.
        for i in range(len(taken)):
            self.back.append((raw >> (8 * (len(taken) - 1 - i))) & 0xFF)
        return self

    def u8(self, value):
        return self.range(0, 255, value)

    def u16(self, value):
        return self.range(0, 0xFFFF, value, 16)

    def i32(self, value):
        return self.range(-(2**31), 2**31 - 1, value, 32)

    def boolean(self, value):
        return self.u8(1 if value else 0)

    def raw(self, data):
        """ConsumeBytes: taken off the front."""
        self.front += bytes(data)
        return self

    def text(self, string):
        """ConsumeRandomLengthString: a backslash doubles, a backslash and another byte end it."""
        self.front += string.encode().replace(b"\\", b"\\\\") + b"\\$"
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, name, data):
    directory = os.path.join(ROOT, target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


# Received datagrams, raw.
def datagram(command, address=(0, 0, 0, 0), mask=(0, 0, 0, 0), mac=(0,) * 6, device=0, magic=0x4321):
    return struct.pack(">HH4B4B6BH", magic, command, *address, *mask, *mac, device)


def datagram_seeds():
    reply = datagram(0x3039, (192, 168, 1, 20), (255, 255, 255, 0), (0, 0x11, 0x22, 0x33, 0x44, 0x55), 258)
    write("discovery_datagram_fuzzer", "reply", reply)
    write("discovery_datagram_fuzzer", "reply-widest-fields",
          datagram(0x3039, (255, 255, 255, 255), (255, 255, 255, 255), (0xFF,) * 6, 65535, magic=0))
    write("discovery_datagram_fuzzer", "probe", datagram(0x3039))
    write("discovery_datagram_fuzzer", "set-ip", datagram(0x303A, (10, 0, 0, 7), mac=(0, 0x11, 0x22, 0x33, 0x44, 0x55)))
    write("discovery_datagram_fuzzer", "code-swapped", datagram(0x3930, (10, 0, 0, 1)))
    write("discovery_datagram_fuzzer", "short", reply[:19])
    write("discovery_datagram_fuzzer", "long", reply + b"\x00")


# Texts typed into the address dialog.
def dotted_quad_seeds():
    texts = ["10.0.0.1", "192.168.1.0", "223.255.255.254", "0.1.2.3", "0.0.0.0", "127.0.0.1",
             "224.0.0.1", "255.255.255.255", "10.0.0.255", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3",
             "1.2.3.4x", " 10.0.0.1", "1.2.3.1000", "0010.0.0.1", "010.0.0.1", "10.0.0.1   ", "10.0.0.1\t",
             "10.0.0.1  x", "255.255.255.0", "255.0.255.0", "254.0.0.0", "", "-1.2.3.4", "+1.2.3.4"]
    for i, text in enumerate(texts):
        write("dotted_quad_fuzzer", "text-%02d" % i, text.encode())


# A device record, then which values change and how (bit 0 address, bit 1
# mask; bits 2 and 3: as octets rather than text).
def address_change_seeds():
    mac = (0x00, 0x11, 0x22, 0x33, 0x44, 0x55)
    record = datagram(0x3039, (192, 168, 1, 20), (255, 255, 255, 0), mac, 7)

    def seed(name, how, address=None, mask=None, device=record):
        i = Input()
        for b in device:
            i.u8(b)
        i.u8(how)
        for value, bit, octets in ((address, 1, 4), (mask, 2, 8)):
            if how & bit:
                if how & octets:
                    for b in value:
                        i.u8(b)
                else:
                    i.text(value)
        write("address_change_fuzzer", name, i.bytes())

    seed("unchanged", 0)
    seed("address-typed", 1, "192.168.1.21")
    seed("mask-typed", 2, mask="255.255.0.0")
    seed("both-typed", 3, "10.0.0.7", "255.0.0.0")
    seed("address-refused", 1, "127.0.0.1")
    seed("mask-refused", 2, mask="254.0.0.0")
    seed("both-refused", 3, "1.2.3", "")
    seed("both-octets", 3 | 4 | 8, (10, 1, 2, 3), (255, 255, 0, 0))
    seed("reported-broadcast", 0, device=datagram(0x3039, (10, 0, 0, 255), (0, 0, 0, 0), mac, 1))


# QARNAPI: operations and the reader's answers.
OPEN, TRQ_OPEN, CLOSE, SET_TIME, GET_TIME, INFO, FILE_LEN, LOG, LOG_ACK, TRQ_LOG, SPECIAL, SEND_FILE, RESTART = range(13)


def answer(i, status_choice=0, payload=b"", echo=0, reply=0, status=None, request_size=4, lie=None):
    """The reader echoes (0 faithful, 5 none, 6 cut, 7 lying: lie is (index,
    byte)) and replies (0 a frame at once, 4 raw bytes, 5 silence, 6 cut
    short, 7 late). What a raw, cut or late reply needs follows the call."""
    i.range(0, 7, echo)
    if echo == 7:
        i.range(0, request_size - 1, lie[0], 64)
        i.u8(lie[1])
    i.range(0, 7, reply)
    if reply <= 3 or reply >= 6:
        i.range(0, 7, status_choice)  # 0 the expected status, 4 'Q', 5 'R', 6 'S', 7 any
        if status_choice == 7:
            i.u8(status)
        i.u8(len(payload))
        i.raw(payload)


def current_handle(i):
    i.range(0, 7, 1)


def reader_seeds():
    # A session: open, clock, information, lengths, a log record and its
    # acknowledgement, a special command, a download, close.
    i = Input()
    i.range(0, 12, OPEN); i.i32(1); answer(i); answer(i)
    i.range(0, 12, GET_TIME); current_handle(i); answer(i, payload=bytes([0x26, 3, 7, 14, 5, 9, 6]))
    i.range(0, 12, INFO); current_handle(i); answer(i, payload=bytes(range(60)))
    i.range(0, 12, FILE_LEN); current_handle(i); answer(i, payload=bytes([0x10, 0, 0x20, 1, 0xFF, 0xFF]))
    i.range(0, 12, LOG); current_handle(i); answer(i, status_choice=7, status=0x41, payload=bytes([1, 0, 0x10, 0x20, 0x30, 0x25] + list(range(10))))
    i.range(0, 12, LOG_ACK); current_handle(i); i.i32(0); answer(i)
    i.range(0, 12, SPECIAL); current_handle(i); i.range(0, 300, 5, 32); [i.u8(b) for b in (0x86, 1, 2, 3, 4)]; i.boolean(False); answer(i, payload=b"ok")
    i.range(0, 12, SEND_FILE); current_handle(i); i.range(0, 5, 0); i.range(0, 1100, 300, 64); i.raw(bytes(range(256)) + bytes(44)); answer(i); answer(i)
    i.range(0, 12, CLOSE); current_handle(i); i.boolean(True); answer(i)
    write("reader_reply_fuzzer", "session", i.bytes())

    # Trouble on the line: a missing echo, a lying length byte, a bad start, a
    # reply cut short, a late reply, then a clean one.
    i = Input()
    i.range(0, 12, GET_TIME); current_handle(i)
    answer(i, echo=5, reply=5)
    answer(i, echo=7, lie=(2, 40), payload=bytes(7))  # the echoed length byte says 40
    answer(i, reply=4); i.range(0, 300, 3, 64); i.raw(b"\x41\x42\x43")
    answer(i, reply=6, payload=bytes(7)); i.range(0, 10, 5, 64)
    answer(i, reply=7, payload=bytes(7)); i.range(0, 10, 0, 64); i.range(0, 5200, 600, 32)
    answer(i, payload=bytes([0x99, 12, 31, 23, 59, 59, 0]))
    write("reader_reply_fuzzer", "troubled-line", i.bytes())

    # Log records: 'Q', 'R', one handed out, one that stands for it (0xFF), then the second family's.
    i = Input()
    i.range(0, 12, LOG); current_handle(i); answer(i, status_choice=4)
    i.range(0, 12, LOG); current_handle(i); answer(i, status_choice=5)
    i.range(0, 12, LOG); current_handle(i); answer(i, payload=bytes(range(1, 21)))
    i.range(0, 12, LOG); current_handle(i); answer(i, payload=bytes([9, 9, 9, 9, 9, 0xFF]))
    i.range(0, 12, TRQ_LOG); current_handle(i); answer(i, payload=bytes(range(16))); answer(i, status_choice=6)
    write("reader_reply_fuzzer", "log-records", i.bytes())

    # Refused input and a wrong handle.
    i = Input()
    i.range(0, 12, TRQ_OPEN); [i.u8(b) for b in (1, 2, 3, 4, 5, 6)]; answer(i, status_choice=7, status=0x41)
    i.range(0, 12, GET_TIME); i.range(0, 7, 0); i.i32(0)
    i.range(0, 12, SPECIAL); current_handle(i); i.range(0, 300, 2, 32); [i.u8(b) for b in (0x84, 1)]; i.boolean(False)
    i.range(0, 12, SEND_FILE); current_handle(i); i.range(0, 5, 2); i.boolean(True); i.boolean(True); i.range(0, 12, 2); i.raw(bytes(80)); answer(i); answer(i, status_choice=7, status=0x20)
    i.range(0, 12, SEND_FILE); current_handle(i); i.range(0, 5, 2); i.boolean(False); i.range(0, 1100, 41, 64); i.raw(bytes(41))
    write("reader_reply_fuzzer", "refusals", i.bytes())


# serwyn: calls on ports 0 to 2 (port choice 4 to 7 picks 0 to 2 next).
RESET, DONE, BAUD, PARMS, FLOW, PUTC, PUTS, GETC, GETS, UNGETC, RXCLEAR, TXCLEAR, QUEUES, LINES, MODEM, BREAK, STATUS, INFO_CALLS, WINERROR, READ, ARRIVE, REFUSE = range(22)


def port(i, number):
    i.range(0, 7, 4); i.range(0, 2, number)


def serwyn_seeds():
    i = Input()
    port(i, 0); i.range(0, 21, RESET); i.range(-4, 5000, 1024, 32); i.range(-4, 5000, 1024, 32)
    port(i, 0); i.range(0, 21, BAUD); i.i32(7)
    port(i, 0); i.range(0, 21, PARMS); i.range(-1, 8, 2, 32); i.range(-1, 3, 0, 32); i.range(3, 9, 7, 32)
    port(i, 0); i.range(0, 21, FLOW); i.range(0, 5, 0, 32)
    port(i, 0); i.range(0, 21, ARRIVE); i.text("hello")
    port(i, 0); i.range(0, 21, GETC)
    port(i, 0); i.range(0, 21, UNGETC); i.i32(0x141)
    port(i, 0); i.range(0, 21, GETS); i.range(-2, 300, 10, 32)
    port(i, 0); i.range(0, 21, GETS); i.range(-2, 300, 10, 32)
    port(i, 0); i.range(0, 21, PUTS); i.range(-2, 300, 5, 32); i.raw(b"ATZ\r\n")
    port(i, 0); i.range(0, 21, PUTC); i.i32(0x0D)
    port(i, 0); i.range(0, 21, QUEUES); i.range(0, 4096, 3, 32); i.boolean(False)
    port(i, 0); i.range(0, 21, LINES); i.range(0, 5, 0, 32); i.boolean(True)
    port(i, 0); i.range(0, 21, LINES); i.range(0, 5, 2, 32); i.boolean(True)
    port(i, 0); i.range(0, 21, MODEM); i.u8(0x30); i.range(0, 3, 0, 32)
    port(i, 0); i.range(0, 21, STATUS); i.u8(0x04); i.i32(0x1F)
    port(i, 0); i.range(0, 21, BREAK); i.range(0, 4, 0, 32)
    port(i, 0); i.range(0, 21, RXCLEAR)
    port(i, 0); i.range(0, 21, DONE)
    write("serwyn_calls_fuzzer", "one-port", i.bytes())

    # The system refuses: an open, a read, a write; the error text after each.
    i = Input()
    port(i, 1); i.range(0, 21, REFUSE); i.range(0, 3, 1, 32); i.range(0, 16, 0, 64); i.range(1, 200, 2, 32)
    port(i, 1); i.range(0, 21, RESET); i.range(-4, 5000, 100, 32); i.range(-4, 5000, 100, 32)
    port(i, 1); i.range(0, 21, WINERROR); i.range(-1, 40, 8, 32)
    port(i, 1); i.range(0, 21, REFUSE); i.range(0, 3, 0, 32)
    port(i, 1); i.range(0, 21, RESET); i.range(-4, 5000, 100, 32); i.range(-4, 5000, 100, 32)
    port(i, 1); i.range(0, 21, ARRIVE); i.text("abc")
    port(i, 1); i.range(0, 21, REFUSE); i.range(0, 3, 1, 32); i.range(0, 16, 15, 64); i.range(1, 200, 5, 32)
    port(i, 1); i.range(0, 21, GETC)
    port(i, 1); i.range(0, 21, GETS); i.range(-2, 300, 3, 32)
    port(i, 1); i.range(0, 21, RXCLEAR)
    port(i, 1); i.range(0, 21, REFUSE); i.range(0, 3, 1, 32); i.range(0, 16, 14, 64); i.range(1, 200, 6, 32)
    port(i, 1); i.range(0, 21, PUTC); i.i32(65)
    port(i, 1); i.range(0, 21, WINERROR); i.range(-1, 40, 40, 32)
    write("serwyn_calls_fuzzer", "refusals", i.bytes())

    # Ports that fail the checks: never opened, and out of range.
    i = Input()
    port(i, 2); i.range(0, 21, GETC)
    i.range(0, 7, 0); i.range(0, 21, RESET); i.range(-4, 5000, 0, 32); i.range(-4, 5000, 0, 32)
    i.range(0, 7, 1); i.range(0, 21, PUTS); i.range(-2, 300, 2, 32); i.raw(b"xy")
    i.range(0, 7, 2); i.range(0, 21, RESET); i.range(-4, 5000, 2, 32); i.range(-4, 5000, 2, 32)
    i.range(0, 7, 2); i.range(0, 21, DONE)
    write("serwyn_calls_fuzzer", "port-checks", i.bytes())


# corvane-set --from files: comments, both MAC spellings, CRLF, refused lines.
def set_list_seeds():
    texts = [
        "# cabinet 4\n02-C0-4E-00-00-01 10.0.0.11\n02:c0:4e:00:00:02 10.0.0.12 255.255.0.0  # mask\n",
        "02-C0-4E-00-00-01 10.0.0.11 255.255.255.0\r\n\n\t02-C0-4E-00-00-03\t10.0.0.13\r\n",
        "02-C0-4E-00-00-01 10.0.0.11\n02-C0-4E-00-00-02 10.0.0.11\n",
        "02-C0-4E-00-00-01 10.0.0.11\n02-c0-4e-00-00-01 10.0.0.12\n",
        "02-C0-4E-00-00-01 10.0.0.11\x00 255.0.0.0\n",
        "02-C0-4E-00-00-01 10.0.0.255\n",
        "02-C0-4E-00-00-01 10.0.0.5 128.0.0.0\n",
        "02-C0-4E-00-00-0 10.0.0.5\n",
        "# nothing\n\n",
        "02-C0-4E-00-00-01 " + "1" * 300 + "\n",
    ]
    for i, text in enumerate(texts):
        write("set_list_fuzzer", "list-%02d" % i, text.encode())


def main():
    if os.path.isdir(ROOT):
        shutil.rmtree(ROOT)
    datagram_seeds()
    dotted_quad_seeds()
    address_change_seeds()
    set_list_seeds()
    reader_seeds()
    serwyn_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
