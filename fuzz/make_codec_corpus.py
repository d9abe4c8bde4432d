#!/usr/bin/env python3
"""Writes the seed corpus of the codec fuzz target (fuzz/corpus/codec/) from the
encodings the unit tests check byte by byte."""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "corpus" / "codec"


def string(b: bytes) -> bytes:
    n = len(b)
    if n < 0xFF:
        return bytes([n]) + b
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n) + b
    return b"\xff\xff\xff" + struct.pack("<I", n) + b


def count(n: int) -> bytes:
    return struct.pack("<H", n) if n < 0xFFFF else b"\xff\xff" + struct.pack("<I", n)


def record(c1, c2, text=b"", number=0, lst=(), arr=()) -> bytes:
    out = struct.pack("<ii", c1, c2) + string(text) + struct.pack("<i", number)
    out += count(len(lst)) + b"".join(string(s) for s in lst)
    out += count(len(arr)) + b"".join(struct.pack("<i", v) for v in arr)
    return out


SEEDS = {
    "closing_notice": record(14, 25),
    "find_request": record(14, 52, b"ann"),
    "channel_list": record(13, 29, lst=[b"+Lobby"], arr=[3]),
    "chat_lines": record(13, 11, lst=[b"alice: hi", b"bob: hello"]),
    "two_records": record(13, 32, b"carol", 1) + record(13, 33, b"carol"),
    "string_255": record(15, 11, b"x" * 255),
    "string_300_bare": string(b"y" * 300),
    "wide_bare": b"\xff\xfe\xff\x04" + "Aé€".encode("utf-16-le") + b"\x3d\xd8",
    "wide_long_length": b"\xff\xfe\xff\xff\x2c\x01" + b"a\x00" * 300,
    "second_wide_marker": b"\xff\xfe\xff\xff\xfe\xff",
    "list_count_long_form": struct.pack("<ii", 13, 29) + b"\x00" + b"\x00" * 4 + b"\xff\xff" + struct.pack("<I", 2)
    + string(b"a") + string(b"b") + b"\x00\x00",
    "huge_text": struct.pack("<ii", 13, 11) + b"\xff\xff\xff" + struct.pack("<I", 0xFFFFFFFF) + b"abc",
    "truncated": record(13, 11, b"cut short")[:-3],
    "join_answer": string(b"join the chatroom"),
}


def main() -> None:
    HERE.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (HERE / name).write_bytes(data)


if __name__ == "__main__":
    main()
