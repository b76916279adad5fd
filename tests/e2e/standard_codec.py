"""The standard message codec's wire format, written from the format itself, so that the tests
check the host's codec against a reading of the format of their own.

Python values map to the wire types the suites send: None, int (32 bits), str, bytes (byte
list) and dict; what the host sends back is null, true/false, int and str, inside an envelope. A method
call is the name as a string, then the arguments.
"""

import struct


def size(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return b"\xfe" + struct.pack("<H", n)
    return b"\xff" + struct.pack("<I", n)


def _write(out, value):
    if value is None:
        out.append(0)
    elif type(value) is int:  # not bool, which has no wire type here
        out += b"\x03" + struct.pack("<i", value)
    elif isinstance(value, (str, bytes)):
        data = value.encode("utf-8") if isinstance(value, str) else value
        out += bytes([7 if isinstance(value, str) else 8]) + size(len(data)) + data
    elif isinstance(value, dict):
        out += b"\x0d" + size(len(value))
        for key, element in value.items():
            _write(out, key)
            _write(out, element)
    else:
        raise TypeError("no wire type for %r" % (value,))


def encode(value):
    out = bytearray()
    _write(out, value)
    return bytes(out)


def encode_call(method, arguments=None):
    return encode(method) + encode(arguments)


class Reader:
    """Reads values from one message; raises ValueError where it ends too soon."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise ValueError("message ends at %d, wanted %d more bytes" % (self.at, n))
        self.at += n
        return self.data[self.at - n:self.at]

    def size(self):
        first = self.take(1)[0]
        if first < 254:
            return first
        return struct.unpack("<H" if first == 254 else "<I", self.take(2 if first == 254 else 4))[0]

    def value(self):
        kind = self.take(1)[0]
        if kind < 3:
            return (None, True, False)[kind]
        if kind == 3:
            return struct.unpack("<i", self.take(4))[0]
        if kind == 7:
            return self.take(self.size()).decode("utf-8")
        raise ValueError("type byte %d at %d: not in a reply of the host's" % (kind, self.at - 1))


def decode_reply(data):
    """("empty",) for no bytes (not implemented), ("success", value) or ("error", code,
    message, details) for the envelopes; ValueError for anything else."""
    if not data:
        return ("empty",)
    reader = Reader(data)
    tag = reader.take(1)[0]
    if tag > 1:
        raise ValueError("not an envelope: %s" % data.hex())
    reply = ("success", reader.value()) if tag == 0 else ("error", reader.value(),
                                                          reader.value(), reader.value())
    if reader.at != len(data):
        raise ValueError("%d bytes after the envelope" % (len(data) - reader.at))
    return reply
