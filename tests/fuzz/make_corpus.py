#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: a handful of small valid and
broken streams per target, in corpus/<target>/. Run it again after changing
the seeds; the files are kept in the repository."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def wide(code, payload=b""):
    body = bytes([code & 0xFF, 0xFF, (code >> 8) & 0xFF, 0xFF])
    body += b"".join(bytes([b, 0xFF]) for b in payload)
    return b"\x00\x00\xAD\xC2" + body + b"\x00\x00\x01\xB4"


def plain(code, payload=b""):
    return b"\x00\x00\xAD\xC3" + struct.pack("<I", code) + payload + b"NEND"


def header(marker):
    return bytearray(marker + bytes(28))


def video(kind, payload=b"\x55" * 32, channel=0, key=True, stream_kind=0):
    n = len(payload)
    if kind == "F2":
        h = header(b"\x00\x00\x01\xF2")
        h[8] = (1 if key else 2) << 4 | channel
        h[12:14] = struct.pack("<H", n // 32)
        h[24] = stream_kind
        end = b"\x00\x00\x01\xB4"
    elif kind == "F5":
        h = header(b"\x00\x00\x01\xF5")
        h[8] = (1 if key else 2) << 4 | channel
        h[12:16] = struct.pack("<I", n)
        h[24] = stream_kind
        end = b"\x00\x00\x01\xB4"
    elif kind == "BADJ":
        h = header(b"BADJ")
        h[4:8] = struct.pack(">I", 0x11223344)
        h[8] = (1 if key else 2) << 4 | channel
        h[12:14] = struct.pack(">H", n // 4)
        h[24] = stream_kind
        end = b"NEND"
    elif kind == "NDAV":
        h = header(b"NDAV")
        h[4] = channel
        h[5] = 0 if key else 1
        h[12:16] = struct.pack("<I", n)
        h[28] = stream_kind
        end = b"NEND"
    else:  # NDA
        h = header(b"NDA`")
        h[8] = (1 if key else 2) << 4 | channel
        h[16:20] = struct.pack("<I", n)
        h[22] = stream_kind
        end = b"NEND"
    return bytes(h) + payload + end


def description(model_code, version):
    d = bytearray(552)
    d[0:4] = struct.pack("<I", model_code)
    d[4:6] = struct.pack("<h", 2)
    d[12:14] = struct.pack("<H", version)
    d[40:42] = b"C1"
    d[72:74] = b"C2"
    return bytes(d)


def short_description(model_code, version):
    d = bytearray(276)
    d[0:4] = struct.pack("<I", model_code)
    d[4:6] = struct.pack("<H", 4)
    d[268:270] = struct.pack("<H", version)
    return bytes(d)


def write(target, seeds):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


def main():
    every_kind = b"".join(video(k) for k in ("F2", "F5", "BADJ", "NDAV", "NDA"))
    handshake = (plain(1, short_description(61, 7)) + plain(4, bytes(24)) + plain(7) + plain(11)
                 + plain(14, struct.pack("<II", 100, 200)) + plain(17, struct.pack("<II", 5, 5)) + plain(16))
    write("fuzz_recorder_stream", {
        "video_whole": b"\x00\xFF" + every_kind,
        "video_chunks_of_3": b"\x00\x02" + every_kind,
        "handshake_plain": b"\x00\x07" + handshake,
        "handshake_wide": b"\x00\xFF" + wide(1, description(11, 24)) + wide(4, bytes(24)) + wide(7) + wide(31),
        "search_iframe_channel2": b"\x23\x00" + video("F5", channel=2, stream_kind=9)
                                  + video("NDAV", channel=2, key=False, stream_kind=1),
        "broken": b"\x04\x05" + b"\x00\x00\x01\xF5" + bytes(8) + b"NDAV\x00\x00\xAD" + video("F2")[:40]
                  + wide(11)[:-2] + plain(12) + b"BADJ" + b"\x00" * 20 + b"NEND",
    })
    write("fuzz_ddns_stream", {
        "ready_info": b"\x00\xFF" + wide(42) + wide(45, bytes([192, 168, 0, 10]) + struct.pack("<I", 9000)),
        "plain_class_chunks": b"\x1A\x00" + wide(42) + wide(45, bytes([127, 0, 0, 1]) + struct.pack("<I", 3000)),
        "no_class": b"\x05\xFF" + wide(42),
        "noise": b"\x00\x03" + video("F5") + wide(11) + plain(42) + b"\x00\x00\xAD\xC2\x2A\xFF",
    })
    write("fuzz_command_decode", {
        "connect_ok_long": b"\x30" + wide(1, description(11, 24)),
        "connect_ok_short": b"\x0F" + plain(1, short_description(61, 6)),
        "login_ok": b"\x17" + plain(4, struct.pack("<IIIIII", 0, 0x3F, 1, 2, 3, 4)),
        "record_info": b"\x00" + wide(14, struct.pack("<II", 100, 200)),
        "ddns_info": b"\x00" + wide(45, bytes([192, 168, 0, 10]) + struct.pack("<I", 9000)),
        "short": b"\x01" + b"\x00\x00\xAD\xC3\x04\x00\x00\x00NEND"[:10],
    })


if __name__ == "__main__":
    main()
