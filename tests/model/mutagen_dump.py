#!/usr/bin/python3
"""Prints, as JSON, every tag of an audio file as an independent reader
(mutagen, plus small parsers for what mutagen hides) sees it, so the writer's
tests can check names and bytes as stored rather than as our reader reads
them back.

    mutagen_dump.py FILE

Output keys, each present only when the file holds that tag:
  "ID3v2":  {"version": [2, major, revision], "frames": [FRAME, ...]} in file
            order, read with translate=False (mutagen's container classes
            would upgrade 2.3 frames); FRAME is {"id", "enc"?} plus "text"
            (list), "desc", "lang", "owner", "data_hex", "email", "rating",
            "count", "url", "type", "mime", "md5", "size" as the frame has them.
  "ID3v1":  {"title", "artist", "album", "year", "comment", "track", "genre"}.
  "APE":    {"items": [{"key", "kind": "text"|"binary"|"external",
            "read_only", "values" (text) | "data_hex" (binary)}]} in file order.
  "Vorbis": {"fields": [[name, value], ...]} in file order; the value of a
            METADATA_BLOCK_PICTURE field is its decoded picture, as below.
  "FLACPictures": [{"type", "mime", "desc", "md5", "size", "width", "height"}].
  "MP4":    {"atoms": {name: VALUE}}; trkn/disk as [[n, total]], integer atoms
            as lists of numbers, booleans as true/false, texts as lists,
            freeform as {"format": n, "values": [text or hex]}, covr as
            [{"format": "jpeg"|"png"|"gif"|n, "md5", "size"}].
  "ASF":    {"attributes": [[name, type, value], ...]}; pictures as
            {"type", "mime", "desc", "md5", "size"}, bytes as hex.
  "INFO":   {"fields": [[id, value], ...]} from the RIFF LIST/INFO chunk.
"""

import base64
import hashlib
import io
import json
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))

import mutagen  # noqa: E402
from mutagen import asf, flac, id3, mp4, oggflac, oggspeex, oggvorbis  # noqa: E402

from fxlib import locate  # noqa: E402


def md5(data):
    return hashlib.md5(data).hexdigest()


def id3_frame(frame):
    fid = frame.FrameID
    d = {"id": fid}
    if hasattr(frame, "encoding"):
        d["enc"] = int(frame.encoding)
    if fid == "TXXX":
        d.update(desc=frame.desc, text=[str(t) for t in frame.text])
    elif fid in ("COMM", "USLT"):
        text = frame.text if isinstance(frame.text, str) else "\0".join(frame.text)
        d.update(lang=frame.lang, desc=frame.desc, text=text)
    elif fid == "UFID":
        d.update(owner=frame.owner, data_hex=frame.data.hex())
    elif fid == "POPM":
        d.update(email=frame.email, rating=frame.rating, count=getattr(frame, "count", 0))
    elif fid == "WXXX":
        d.update(desc=frame.desc, url=frame.url)
    elif fid == "PCST":
        d.update(value=frame.value)
    elif fid == "APIC":
        d.update(type=int(frame.type), mime=frame.mime, desc=frame.desc, md5=md5(frame.data),
                 size=len(frame.data))
    elif fid == "WFED" and isinstance(frame, id3.UrlFrame):
        # A text frame by iTunes' use; mutagen reads it as a URL whose first
        # character is the encoding byte.
        d.update(enc=ord(frame.url[0]), text=[frame.url[1:]])
    elif fid.startswith("W"):
        d.update(url=frame.url)
    elif hasattr(frame, "text"):
        d.update(text=[str(t) for t in frame.text])
    else:
        d.update(data_hex=getattr(frame, "data", b"").hex())
    return d


def dump_id3v2(path, out):
    raw = locate.id3v2_bytes(path)
    if not raw or raw[:3] != b"ID3":
        return
    tag = id3.ID3(io.BytesIO(raw), translate=False, load_v1=False)
    out["ID3v2"] = {"version": list(tag.version),
                    "frames": [id3_frame(f) for f in tag.values()]}


def dump_id3v1(path, out):
    fields = locate.id3v1_fields(path)
    if fields is not None:
        out["ID3v1"] = fields


def dump_ape(path, out):
    """Parses the APEv2 tag at the end of the file (before an ID3v1 tag)
    itself: mutagen drops the read-only flag."""
    with open(path, "rb") as f:
        data = f.read()
    end = len(data)
    if end >= 128 and data[end - 128:end - 125] == b"TAG":
        end -= 128
    footer = data[end - 32:end]
    if footer[:8] != b"APETAGEX":
        return
    _version, size, count, _flags = struct.unpack("<IIII", footer[8:24])
    pos = end - size
    items = []
    for _ in range(count):
        vsize, flags = struct.unpack("<II", data[pos:pos + 8])
        zero = data.index(b"\0", pos + 8)
        key = data[pos + 8:zero].decode("ascii")
        value = data[zero + 1:zero + 1 + vsize]
        kind = ("text", "binary", "external", "reserved")[(flags >> 1) & 3]
        item = {"key": key, "kind": kind, "read_only": bool(flags & 1)}
        if kind == "binary":
            item["data_hex"] = value.hex()
        else:
            item["values"] = value.decode("utf-8").split("\0")
        items.append(item)
        pos = zero + 1 + vsize
    out["APE"] = {"items": items}


def picture_summary(p):
    return {"type": int(p.type), "mime": p.mime, "desc": p.desc, "md5": md5(p.data),
            "size": len(p.data), "width": p.width, "height": p.height}


def dump_vorbis(tags, out):
    if tags is None:
        return
    fields = []
    for name, value in tags:
        if name.upper() == "METADATA_BLOCK_PICTURE":
            picture = flac.Picture(base64.b64decode(value))
            fields.append([name, picture_summary(picture)])
        else:
            fields.append([name, value])
    out["Vorbis"] = {"fields": fields}


def dump_mp4(f, out):
    if f.tags is None:
        return
    atoms = {}
    for name, value in f.tags.items():
        if name == "covr":
            formats = {mp4.MP4Cover.FORMAT_JPEG: "jpeg", mp4.MP4Cover.FORMAT_PNG: "png", 12: "gif"}
            atoms[name] = [{"format": formats.get(c.imageformat, c.imageformat), "md5": md5(c),
                            "size": len(c)} for c in value]
        elif name.startswith("----"):
            atoms[name] = {"format": int(value[0].dataformat),
                           "values": [v.decode("utf-8") if v.dataformat == 1 else v.hex()
                                      for v in value]}
        elif name in ("trkn", "disk"):
            atoms[name] = [list(v) for v in value]
        elif isinstance(value, bool):
            atoms[name] = value
        else:
            atoms[name] = [v if isinstance(v, (int, str)) else str(v) for v in value]
    out["MP4"] = {"atoms": atoms}


def dump_asf(f, out):
    if f.tags is None:
        return
    attributes = []
    for name, value in f.tags:
        kind = type(value).__name__.replace("ASF", "").replace("Attribute", "").lower()
        if name == "WM/Picture":
            data = value.value
            ptype = data[0]
            size = struct.unpack("<I", data[1:5])[0]
            rest = data[5:]
            texts = []
            for _ in range(2):
                end = 0
                while rest[end:end + 2] != b"\0\0":
                    end += 2
                texts.append(rest[:end].decode("utf-16-le"))
                rest = rest[end + 2:]
            attributes.append([name, kind, {"type": ptype, "mime": texts[0], "desc": texts[1],
                                            "md5": md5(rest[:size]), "size": size}])
        elif kind == "byte_array" or isinstance(value.value, bytes):
            attributes.append([name, kind, value.value.hex()])
        else:
            attributes.append([name, kind, value.value])
    out["ASF"] = {"attributes": attributes}


def dump_info(path, out):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF":
        return
    pos = 12
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]
        size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if cid == b"LIST" and data[pos + 8:pos + 12] == b"INFO":
            fields = []
            at, end = pos + 12, pos + 8 + size
            while at + 8 <= end:
                fid = data[at:at + 4].decode("ascii")
                fsize = struct.unpack("<I", data[at + 4:at + 8])[0]
                value = data[at + 8:at + 8 + fsize].split(b"\0", 1)[0].decode("utf-8")
                fields.append([fid, value])
                at += 8 + fsize + (fsize & 1)
            out["INFO"] = {"fields": fields}
            return
        pos += 8 + size + (size & 1)


def main(path):
    out = {}
    ext = os.path.splitext(path)[1].lower()
    if ext in (".mp3", ".aiff", ".aif", ".wav", ".wave", ".tta", ".dsf"):
        dump_id3v2(path, out)
    if ext in (".mp3", ".tta", ".ape"):
        dump_id3v1(path, out)
    if ext in (".mp3", ".ape"):
        dump_ape(path, out)
    if ext in (".wav", ".wave"):
        dump_info(path, out)
    if ext == ".flac":
        f = flac.FLAC(path)
        dump_vorbis(f.tags, out)
        out["FLACPictures"] = [picture_summary(p) for p in f.pictures]
    if ext in (".ogg", ".oga", ".oggflac", ".spx"):
        f = mutagen.File(path, options=[oggvorbis.OggVorbis, oggflac.OggFLAC,
                                        oggspeex.OggSpeex])
        dump_vorbis(f.tags if f else None, out)
    if ext in (".m4a", ".mp4", ".m4b", ".aac", ".m4v"):
        dump_mp4(mp4.MP4(path), out)
    if ext in (".wma", ".asf", ".wmv"):
        dump_asf(asf.ASF(path), out)
    json.dump(out, sys.stdout, ensure_ascii=False, sort_keys=True)


if __name__ == "__main__":
    main(sys.argv[1])
