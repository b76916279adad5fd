"""The standard message codec's wire format read anew, so that the tests check the host's codec
against a reading of their own: what the suites send, and the host's replies."""

import struct


def size(n):
    # Nothing the suites send needs the four-byte form: struct refuses it.
    return bytes([n]) if n < 254 else b"\xfe" + struct.pack("<H", n)


def encode(value):
    if value is None:
        return b"\x00"
    if type(value) is int:  # not bool, which has no wire type here
        return b"\x03" + struct.pack("<i", value)
    if isinstance(value, (str, bytes)):
        data = value.encode("utf-8") if isinstance(value, str) else value
        return bytes([7 if isinstance(value, str) else 8]) + size(len(data)) + data
    if isinstance(value, dict):
        return b"\x0d" + size(len(value)) + b"".join(map(encode, sum(value.items(), ())))
    raise TypeError("no wire type for %r" % (value,))


def encode_call(method, arguments=None):
    return encode(method) + encode(arguments)


class Reader:

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
        if kind == 9:  # 32-bit integers, aligned to 4 from the message's start
            count = self.size()
            self.take(-self.at % 4)
            return list(struct.unpack("<%di" % count, self.take(4 * count)))
        if kind in (12, 13):
            items = [self.value() for _ in range(self.size() * (kind - 11))]
            return items if kind == 12 else dict(zip(items[::2], items[1::2]))
        raise ValueError("type byte %d at %d: not in a reply of the host's" % (kind, self.at - 1))


def decode_reply(data):
    """("empty",), ("success", value) or ("error", code, message, details)."""
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
