#!/usr/bin/env python3
"""Bad input from the user interface against the built host under the Wine + Xorg rig: each
class of malformed or unexpected message on "veskaro/gamma" must get its one reply, leave the
guarded ramp on the screen and the guard's log as they were, and never crash or hang the host.
Prints a table: class, reply, what the host wrote on stderr.

  bad_input_survey.py
"""

import math
import os
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from guard_model import RAMPS, GuardModel  # noqa: E402
from host_session import Failure, HostSession, expect, gamma_reset  # noqa: E402
from soak import (BAD_ARGS, EMPTY, SUCCESS, UNDECODABLE_LINE, SoakSession, screen_is,  # noqa: E402
                  wait_screen)


def size(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return b"\xfe" + struct.pack("<H", n)
    return b"\xff" + struct.pack("<I", n)


def string(text):
    data = text.encode("utf-8") if isinstance(text, str) else text
    return b"\x07" + size(len(data)) + data


def byte_list(data):
    return b"\x08" + size(len(data)) + data


def warm_ramp():
    """The player's ramp(warm), so that accepted variants leave the screen as it is."""
    out = b""
    for factor in (1.0, 0.85, 0.65):
        out += b"".join(struct.pack("<H", round(257 * i * factor)) for i in range(256))
    return out


def double_at(offset, value):
    """A double value whose type byte sits at `offset` in the message (padding counts from 0)."""
    pad = (8 - (offset + 1) % 8) % 8
    return b"\x06" + b"\x00" * pad + struct.pack("<d", value)


SET = string("set")
RAMP = string("ramp")
WARM = warm_ramp()
RAMP_ENTRY = RAMP + byte_list(WARM)
MIB = 1 << 20


def nan_keys_message():
    body = SET + b"\x0d\x03"
    body += double_at(len(body), math.nan) + b"\x03\x01\x00\x00\x00"
    body += double_at(len(body), math.nan) + b"\x03\x02\x00\x00\x00"
    return body + RAMP_ENTRY


def send(data):
    return "send veskaro/gamma " + (data.hex(" ") if data else "-")


def call(method, argument=""):
    return ("call veskaro/gamma %s %s" % (method, argument)).rstrip()


# (class, example, scenario command, expected reply, effect on the guard: None, "set", "clear")
CASES = [
    ("empty message", "0 bytes", send(b""), EMPTY, None),
    ("truncated", "type byte of the name only", send(b"\x07"), EMPTY, None),
    ("truncated", "method name cut short", send(b"\x07\x05cle"), EMPTY, None),
    ("truncated", '"set", no arguments', send(SET), BAD_ARGS, None),
    ("truncated", '"set", ramp cut at 100 of 1536 bytes',
     send(SET + b"\x0d\x01" + RAMP + b"\x08\xfe\x00\x06" + WARM[:100]), BAD_ARGS, None),
    ("truncated", '"set", map announces 2 entries, has 1',
     send(SET + b"\x0d\x02" + RAMP_ENTRY), SUCCESS, "set"),
    ("unknown type byte", "0x0F as the method name", send(b"\x0f"), EMPTY, None),
    ("unknown type byte", "0xFF as the arguments", send(SET + b"\xff"), BAD_ARGS, None),
    ("unknown type byte", '0x10 as the "ramp" value', send(SET + b"\x0d\x01" + RAMP + b"\x10"),
     BAD_ARGS, None),
    ("4 G-element count", "method name of 4 G bytes", send(b"\x07\xff\xff\xff\xff\xffset"),
     EMPTY, None),
    ("4 G-element count", "ramp byte list of 4 G - 1 bytes",
     send(SET + b"\x0d\x01" + RAMP + b"\x08\xff\xff\xff\xff\xff" + WARM), BAD_ARGS, None),
    ("4 G-element count", "arguments a list of 4 G - 1 elements",
     send(SET + b"\x0c\xff\xff\xff\xff\xff\x00"), BAD_ARGS, None),
    ("4 G-element count", "32-bit integer list of 4 G - 1 elements",
     send(SET + b"\x09\xff\xff\xff\xff\xff"), BAD_ARGS, None),
    ("4 G-element count", "map of 4 G - 1 entries, holding the ramp",
     send(SET + b"\x0d\xff\xff\xff\xff\xff" + RAMP_ENTRY), SUCCESS, "set"),
    ("deep nesting", "100,000 nested lists as the arguments",
     send(SET + b"\x0c\x01" * 100000 + b"\x00"), BAD_ARGS, None),
    ("deep nesting", "100,000 nested maps as the method name",
     send(b"\x0d\x01" * 100000 + b"\x00"), EMPTY, None),
    ("method name not a string", "32-bit integer", send(b"\x03\x01\x00\x00\x00"), EMPTY, None),
    ("method name not a string", "null", send(b"\x00"), EMPTY, None),
    ("method name not a string", 'byte list "set" with a ramp',
     send(byte_list(b"set") + b"\x0d\x01" + RAMP_ENTRY), EMPTY, None),
    ("method name not a string", 'list ["set"]', send(b"\x0c\x01" + SET), EMPTY, None),
    ("method name odd string", "invalid UTF-8", send(string(b"\xff\xfe\xfd")), EMPTY, None),
    ("method name odd string", '"set" and a NUL, with a ramp',
     send(string(b"set\x00") + b"\x0d\x01" + RAMP_ENTRY), EMPTY, None),
    ("method name odd string", "empty", send(string("")), EMPTY, None),
    ("method name odd string", '"set " (trailing blank), with a ramp',
     send(string("set ") + b"\x0d\x01" + RAMP_ENTRY), EMPTY, None),
    ('"set" wrong argument', "none", call("set"), BAD_ARGS, None),
    ('"set" wrong argument', "null", call("set", "null"), BAD_ARGS, None),
    ('"set" wrong argument', "true", call("set", "true"), BAD_ARGS, None),
    ('"set" wrong argument', "integer 1536", call("set", "1536"), BAD_ARGS, None),
    ('"set" wrong argument', "string", call("set", '"ramp"'), BAD_ARGS, None),
    ('"set" wrong argument', "byte list passed directly", call("set", "ramp(warm)"), BAD_ARGS,
     None),
    ('"set" wrong argument', "list holding the ramp", call("set", "[ramp(warm)]"), BAD_ARGS, None),
    ('"set" wrong argument', "ramp null", call("set", '{"ramp": null}'), BAD_ARGS, None),
    ('"set" wrong argument', "ramp a 32-bit integer list",
     call("set", '{"ramp": i32list(1, 2, 3)}'), BAD_ARGS, None),
    ('"set" wrong argument', "ramp a list of integers", call("set", '{"ramp": [1, 2, 3]}'),
     BAD_ARGS, None),
    ('"set" wrong argument', "ramp a string", call("set", '{"ramp": "warm"}'), BAD_ARGS, None),
    ('"set" wrong length', "0 bytes", call("set", '{"ramp": bytes(len=0)}'), BAD_ARGS, None),
    ('"set" wrong length', "1535 bytes", call("set", '{"ramp": bytes(len=1535)}'), BAD_ARGS,
     None),
    ('"set" wrong length', "1537 bytes", call("set", '{"ramp": bytes(len=1537, fill=255)}'),
     BAD_ARGS, None),
    ('"set" wrong key', '"Ramp"', call("set", '{"Ramp": ramp(warm)}'), BAD_ARGS, None),
    ('"set" wrong key', '"ramp " (trailing blank)', call("set", '{"ramp ": ramp(warm)}'),
     BAD_ARGS, None),
    ('"set" wrong key', 'byte list "ramp"', call("set", "{bytes(72616D70): ramp(warm)}"),
     BAD_ARGS, None),
    ('"set" wrong key', "integer", call("set", "{1: ramp(warm)}"), BAD_ARGS, None),
    ('"set" repeated key', "valid ramp first, short one second",
     send(SET + b"\x0d\x02" + RAMP_ENTRY + RAMP + byte_list(b"\x00")), SUCCESS, "set"),
    ('"set" repeated key', "short ramp first, valid one second",
     send(SET + b"\x0d\x02" + RAMP + byte_list(b"\x00") + RAMP_ENTRY), BAD_ARGS, None),
    ('"set" extra content', "extra keys", call("set", '{"ramp": ramp(warm), "x": [1, {}]}'),
     SUCCESS, "set"),
    ('"set" extra content', "bytes after the arguments",
     send(SET + b"\x0d\x01" + RAMP_ENTRY + b"\xde\xad\xbe\xef" * 4), SUCCESS, "set"),
    ("NaN map keys", 'two NaN keys beside "ramp"', send(nan_keys_message()), SUCCESS, "set"),
    ("unknown method", '"SET" with a ramp', call("SET", '{"ramp": ramp(warm)}'), EMPTY, None),
    ("unknown method", '"Clear"', call("Clear"), EMPTY, None),
    ("unknown method", '"reset"', call("reset"), EMPTY, None),
    ("huge message", "1 MiB of 0xFF", send(b"\xff" * MIB), EMPTY, None),
    ("huge message", "ramp of 1 MiB", call("set", '{"ramp": bytes(len=%d)}' % MIB), BAD_ARGS,
     None),
    ("huge message", "valid ramp beside 1 MiB of padding",
     call("set", '{"ramp": ramp(warm), "pad": bytes(len=%d)}' % MIB), SUCCESS, "set"),
    ("truncated", '"clear", no arguments', send(string("clear")), SUCCESS, "clear"),
]

FINAL_RAMP = "gamma 1.6"


def survey(host):
    model = GuardModel()
    first = host.add(call("set", '{"ramp": ramp(warm)}'))
    lines = []
    for i, case in enumerate(CASES):
        host.await_signal("case-%d" % i, 120000)
        lines.append(host.add(case[2]))
        host.add("mark case-%d" % i)
    host.await_signal("final", 120000)
    final = host.add(call("set", '{"ramp": %s}' % RAMPS[FINAL_RAMP][0]))
    host.await_signal("done", 120000)
    host.add("close")

    host.start()
    expect(host.reply(first, 60).get("reply") == "success", "the first set was not answered")
    model.set("warm")
    expect(wait_screen("warm", 2) is not None, "the warm ramp is not on the screen")
    host.wait_log_equal(model.log)
    rows, failures = [], []
    seen = 0
    for i, (label, example, _, wanted, effect) in enumerate(CASES):
        host.signal("case-%d" % i, 30)
        host.mark("case-%d" % i, 60)
        reply = host.reply(lines[i], 5)
        stderr = host.stderr().splitlines()
        new, seen = stderr[seen:], len(stderr)
        kind = reply.get("reply") + (" " + reply["code"] if "code" in reply else "")
        rows.append((label, example, kind, summarise(new)))
        problems = ["%s=%r" % (k, reply.get(k)) for k, v in wanted.items() if reply.get(k) != v]
        if new.count(UNDECODABLE_LINE) > 1:
            problems.append("the channel's undecodable line written %d times" %
                            new.count(UNDECODABLE_LINE))
        if effect == "set":
            model.set("warm")
        elif effect == "clear":
            model.clear()
        try:
            host.wait_log_equal(model.log, 2)
        except Failure as error:
            problems.append(str(error))
        if not screen_is("warm"):
            problems.append("the screen is no longer warm")
        if not host.running():
            problems.append("the host exited")
        if problems:
            failures.append("%s / %s: %s" % (label, example, "; ".join(problems)))
            if not host.running():
                break
        if i == len(CASES) // 2 and model.armed:
            # Still guarding after half the garbage: an outside reset is undone.
            gamma_reset()
            model.outside_reset()
            if wait_screen("warm", 5) is None:
                failures.append("the warm ramp was not restored after a reset mid-survey")
    print_table(rows)
    expect(not failures, "%d classes misbehaved:\n  %s" % (len(failures), "\n  ".join(failures)))

    # The host still answers a valid "set" and guards the new ramp.
    host.signal("final", 30)
    expect(host.reply(final, 30).get("reply") == "success", "the final set was not answered")
    model.set(FINAL_RAMP)
    expect(wait_screen(FINAL_RAMP, 2) is not None, "the final ramp is not on the screen")
    gamma_reset()
    model.outside_reset()
    expect(wait_screen(FINAL_RAMP, 5) is not None, "the final ramp was not restored")
    host.wait_log_equal(model.log)
    host.signal("done", 30)
    expect(host.finish(30) == 0, "host exit code is not 0")


def summarise(lines):
    """Distinct stderr lines, with counts, shortened for the table."""
    counts = {}
    for line in lines:
        counts[line] = counts.get(line, 0) + 1
    return "; ".join("%s%s" % (line[:70], " (x%d)" % n if n > 1 else "")
                     for line, n in counts.items()) or "-"


def print_table(rows):
    widths = [max(len(r[i]) for r in rows) for i in range(3)]
    print("\n%-*s  %-*s  %-*s  %s" % (widths[0], "class", widths[1], "example", widths[2],
                                      "reply", "stderr"))
    for row in rows:
        print("%-*s  %-*s  %-*s  %s" % (widths[0], row[0], widths[1], row[1], widths[2], row[2],
                                        row[3]))
    print()


def main():
    start = time.monotonic()
    try:
        with SoakSession("bad_input_survey") as host:
            try:
                survey(host)
            except (Failure, subprocess.SubprocessError, OSError) as error:
                print("FAIL bad_input_survey: %s" % error)
                print(host.diagnostics()[-4000:])
                return 1
    except Failure as error:
        print("FAIL bad_input_survey: %s" % error)
        return 1
    print("ok bad_input_survey: %d cases (%.1f s)" % (len(CASES), time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
