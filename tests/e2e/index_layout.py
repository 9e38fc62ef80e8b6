"""An independent encoder of the index stream layouts, for tests.

Turns the JSON that `qoinfo-index dump` prints back into stream bytes, and
writes streams for hand-made containers, using nothing of the C++ code.
"""
import json
import struct
import sys


def counted(text):
    units = text.encode("utf-16-le", "surrogatepass")
    return struct.pack("<I", len(units) + 2) + units + b"\0\0"


def records_stream(dump):
    out = struct.pack("<qI", dump["lastId"], len(dump["records"]))
    for r in dump["records"]:
        out += struct.pack("<qq", r["id"], r["time"])
        out += counted(r["url"]) + counted(r["path"]) + counted(r["title"])
    return out


def words_stream(dump):
    out = struct.pack("<I", len(dump["words"]))
    for w in dump["words"]:
        out += struct.pack("<I", len(w["ids"]))
        for ident, count in w["ids"]:
            out += struct.pack("<qi", ident, count)
        out += counted(w["word"])
    return out


def stream_of_dump(dump):
    return records_stream(dump) if dump["kind"] == "records" else words_stream(dump)


if __name__ == "__main__":
    # index_layout.py DUMP.json OUT: writes the stream bytes of a dump.
    with open(sys.argv[1], encoding="utf-8") as f:
        dump = json.load(f)
    with open(sys.argv[2], "wb") as f:
        f.write(stream_of_dump(dump))
