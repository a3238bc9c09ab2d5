#!/usr/bin/env python3
"""Generates a benchmark corpus: N tagged audio files (default 2000) laid out
like a real library, Artist/Album/NN Title.ext, mostly MP3 and FLAC.

Albums hold about 12 tracks of one format; every track carries about 12 tags
and the album's one cover (100-500 KB JPEG, different per album) embedded.
It is fast because each container is encoded once (1 s of sine) and then
copied and tagged with mutagen. The same arguments give the same tags and
covers.

usage: make_corpus.py OUT [N] [--seed S] [--cover-kb KB] [--jobs J]
Writes OUT/corpus.json (counts, sizes, formats). See bench/README.md.
"""

import argparse
import base64
import json
import math
import os
import random
import shutil
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "fixtures"))

import mutagen.aiff  # noqa: E402
import mutagen.asf  # noqa: E402
import mutagen.flac  # noqa: E402
import mutagen.id3 as id3  # noqa: E402
import mutagen.mp4  # noqa: E402
import mutagen.oggvorbis  # noqa: E402
import mutagen.wave  # noqa: E402

from fxlib import tools  # noqa: E402

# Share of albums per format, roughly that of a personal library.
FORMATS = [("mp3", 0.50), ("flac", 0.27), ("m4a", 0.14), ("ogg", 0.04), ("wav", 0.02),
           ("aiff", 0.015), ("wma", 0.015)]

GENRES = ["Rock", "Jazz", "Classical", "Electronic", "Pop", "Hip-Hop", "Folk", "Ambient",
          "Blues", "Soundtrack"]
WORDS = ["Blue", "Night", "River", "Glass", "Echo", "Summer", "Stone", "Light", "Paper",
         "Silver", "Window", "Garden", "Signal", "Orbit", "Harbor", "Winter", "Café", "Über",
         "Северный", "Montaña", "Lullaby", "Engine", "Static", "Velvet"]


def encode_bases(folder):
    """One 1-second file per container."""
    wav = folder / "src.wav"
    tools.write_wav(wav, tools.sine_samples(44100, 1.0, channels=2), 44100, 2)
    base = {f: folder / ("base." + f) for f, _ in FORMATS}
    tools.run(["lame", "--quiet", "-b", "192", str(wav), str(base["mp3"])])
    tools.run(["flac", "--silent", "-f", "-o", str(base["flac"]), str(wav)])
    tools.run(["oggenc", "-Q", "-q", "3", "-s", "1", "-o", str(base["ogg"]), str(wav)])
    tools.ffmpeg(["-i", str(wav)], ["-c:a", "aac", "-b:a", "192k", str(base["m4a"])])
    tools.ffmpeg(["-i", str(wav)], ["-c:a", "wmav2", "-b:a", "192k", str(base["wma"])])
    tools.ffmpeg(["-i", str(wav)], ["-f", "aiff", str(base["aiff"])])
    shutil.copyfile(wav, base["wav"])
    return base


def make_covers(folder, count, cover_kb, rng):
    """`count` distinct JPEGs; sizes spread over 0.45x to 1.8x of cover_kb
    (mean about 1x) in four buckets, one ffmpeg run each."""
    paths = []
    buckets = [0.45, 0.8, 1.2, 1.8]
    per = [count // len(buckets) + (1 if i < count % len(buckets) else 0)
           for i in range(len(buckets))]
    for i, (factor, n) in enumerate(zip(buckets, per)):
        if n == 0:
            continue
        # Noise over a moving test pattern compresses to about 0.59 bytes a pixel.
        side = int(math.sqrt(cover_kb * factor * 1024 / 0.59)) // 2 * 2
        pattern = str(folder / ("cover%d_%%04d.jpg" % i))
        tools.ffmpeg(["-f", "lavfi", "-i", "testsrc2=s=%dx%d:r=25,noise=alls=55:allf=t+u:all_seed=%d"
                      % (side, side, rng.randrange(1 << 30))],
                     ["-frames:v", str(n), "-q:v", "3", pattern])
        paths += [Path(pattern % (k + 1)) for k in range(n)]
    rng.shuffle(paths)
    return paths


def album_plan(n_files, rng):
    albums, made, index = [], 0, 0
    names = [f for f, _ in FORMATS]
    weights = [w for _, w in FORMATS]
    while made < n_files:
        tracks = min(rng.randint(8, 16), n_files - made)
        artist_no = index // 3  # about three albums per artist
        artist = "%s %s" % (rng.choice(WORDS), rng.choice(WORDS)) if index % 3 == 0 else \
            albums[-1]["artist"]
        albums.append({
            "index": index, "format": rng.choices(names, weights)[0], "tracks": tracks,
            "artist": artist, "artist_no": artist_no,
            "album": "%s %s %s" % (rng.choice(WORDS), rng.choice(WORDS), index),
            "year": str(rng.randint(1965, 2023)), "genre": rng.choice(GENRES),
            "mbid": "%08x-%04x-4%03x-a%03x-%012x" % (rng.getrandbits(32), rng.getrandbits(16),
                                                   rng.getrandbits(12), rng.getrandbits(12),
                                                   rng.getrandbits(48)),
            "titles": ["%s %s" % (rng.choice(WORDS), rng.choice(WORDS)) for _ in range(tracks)],
        })
        made += tracks
        index += 1
    return albums


def safe(name):
    return "".join("_" if c in '/\\:*?"<>|' else c for c in name)


def tags_for(album, track):
    return {
        "title": album["titles"][track - 1], "artist": album["artist"], "album": album["album"],
        "albumartist": album["artist"], "genre": album["genre"], "year": album["year"],
        "track": track, "tracktotal": album["tracks"], "disc": 1, "disctotal": 1,
        "composer": "Composer %d" % (album["artist_no"] % 50),
        "comment": "Benchmark corpus", "mbid": album["mbid"],
    }


def tag_file(path, fmt, t, cover):
    if fmt in ("mp3", "aiff", "wav"):
        frames = [
            id3.TIT2(encoding=3, text=t["title"]), id3.TPE1(encoding=3, text=t["artist"]),
            id3.TALB(encoding=3, text=t["album"]), id3.TPE2(encoding=3, text=t["albumartist"]),
            id3.TCON(encoding=3, text=t["genre"]), id3.TDRC(encoding=3, text=t["year"]),
            id3.TRCK(encoding=3, text="%d/%d" % (t["track"], t["tracktotal"])),
            id3.TPOS(encoding=3, text="%d/%d" % (t["disc"], t["disctotal"])),
            id3.TCOM(encoding=3, text=t["composer"]),
            id3.COMM(encoding=3, lang="eng", desc="", text=t["comment"]),
            id3.TXXX(encoding=3, desc="MusicBrainz Album Id", text=t["mbid"]),
            id3.APIC(encoding=3, mime="image/jpeg", type=3, desc="", data=cover)]
        if fmt == "mp3":
            tag = id3.ID3()
            for fr in frames:
                tag.add(fr)
            tag.save(str(path), v1=0)
        else:
            f = (mutagen.aiff.AIFF if fmt == "aiff" else mutagen.wave.WAVE)(str(path))
            if f.tags is None:
                f.add_tags()
            for fr in frames:
                f.tags.add(fr)
            f.save()
    elif fmt in ("flac", "ogg"):
        f = (mutagen.flac.FLAC if fmt == "flac" else mutagen.oggvorbis.OggVorbis)(str(path))
        f.tags.clear()
        f.tags.extend([
            ("TITLE", t["title"]), ("ARTIST", t["artist"]), ("ALBUM", t["album"]),
            ("ALBUMARTIST", t["albumartist"]), ("GENRE", t["genre"]), ("DATE", t["year"]),
            ("TRACKNUMBER", str(t["track"])), ("TRACKTOTAL", str(t["tracktotal"])),
            ("DISCNUMBER", str(t["disc"])), ("COMPOSER", t["composer"]),
            ("COMMENT", t["comment"]), ("MUSICBRAINZ_ALBUMID", t["mbid"])])
        pic = mutagen.flac.Picture()
        pic.type, pic.mime, pic.data = 3, "image/jpeg", cover
        if fmt == "flac":
            f.add_picture(pic)
        else:
            f.tags.append(("METADATA_BLOCK_PICTURE", base64.b64encode(pic.write()).decode()))
        f.save()
    elif fmt == "m4a":
        f = mutagen.mp4.MP4(str(path))
        if f.tags is None:
            f.add_tags()
        f.tags.clear()
        f.tags.update({
            "\xa9nam": [t["title"]], "\xa9ART": [t["artist"]], "\xa9alb": [t["album"]],
            "aART": [t["albumartist"]], "\xa9gen": [t["genre"]], "\xa9day": [t["year"]],
            "trkn": [(t["track"], t["tracktotal"])], "disk": [(t["disc"], t["disctotal"])],
            "\xa9wrt": [t["composer"]], "\xa9cmt": [t["comment"]],
            "----:com.apple.iTunes:MusicBrainz Album Id": [
                mutagen.mp4.MP4FreeForm(t["mbid"].encode())],
            "covr": [mutagen.mp4.MP4Cover(cover, mutagen.mp4.MP4Cover.FORMAT_JPEG)]})
        f.save()
    elif fmt == "wma":
        f = mutagen.asf.ASF(str(path))
        pic = (bytes([3]) + len(cover).to_bytes(4, "little") + "image/jpeg".encode("utf-16-le") +
               b"\0\0" + b"\0\0" + cover)
        f.tags.update({
            "Title": t["title"], "Author": t["artist"], "WM/AlbumTitle": t["album"],
            "WM/AlbumArtist": t["albumartist"], "WM/Genre": t["genre"], "WM/Year": t["year"],
            "WM/TrackNumber": mutagen.asf.ASFDWordAttribute(t["track"]),
            "WM/PartOfSet": "%d/%d" % (t["disc"], t["disctotal"]),
            "WM/Composer": t["composer"], "Description": t["comment"],
            "MusicBrainz/Album Id": t["mbid"],
            "WM/Picture": mutagen.asf.ASFByteArrayAttribute(pic)})
        f.save()


def write_album(args):
    out, base, album, cover_path = args
    cover = Path(cover_path).read_bytes()
    fmt = album["format"]
    folder = Path(out) / safe(album["artist"]) / safe("%s (%s)" % (album["album"],
                                                                   album["year"]))
    folder.mkdir(parents=True, exist_ok=True)
    size = 0
    for track in range(1, album["tracks"] + 1):
        name = "%02d %s.%s" % (track, safe(album["titles"][track - 1]), fmt)
        path = folder / name
        shutil.copyfile(base[fmt], path)
        tag_file(path, fmt, tags_for(album, track), cover)
        size += path.stat().st_size
    return fmt, album["tracks"], size, len(cover)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("n", nargs="?", type=int, default=2000, help="number of files (2000)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--cover-kb", type=int, default=250,
                    help="mean cover size in KB; covers range 0.45x to 1.8x of it (250)")
    ap.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    a = ap.parse_args(argv[1:])
    if a.n < 1:
        ap.error("N must be at least 1")

    start = time.monotonic()
    out = Path(a.out)
    if out.exists() and any(out.iterdir()):
        ap.error("%s exists and is not empty" % out)
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(a.seed)
    albums = album_plan(a.n, rng)
    with tempfile.TemporaryDirectory(prefix="corpus-") as tmp:
        tmp = Path(tmp)
        base = {k: str(v) for k, v in encode_bases(tmp).items()}
        covers = make_covers(tmp, len(albums), a.cover_kb, rng)
        work = [(str(out), base, album, str(covers[i])) for i, album in enumerate(albums)]
        counts, total, cover_bytes = {}, 0, 0
        with ProcessPoolExecutor(max_workers=max(1, a.jobs)) as pool:
            for fmt, n, size, csize in pool.map(write_album, work, chunksize=4):
                counts[fmt] = counts.get(fmt, 0) + n
                total += size
                cover_bytes += csize
    summary = {"files": sum(counts.values()), "albums": len(albums),
               "artists": len({al["artist"] for al in albums}), "formats": counts,
               "bytes": total, "average_cover_bytes": cover_bytes // len(albums),
               "seed": a.seed, "seconds": round(time.monotonic() - start, 1)}
    with open(out / "corpus.json", "w", encoding="utf-8") as f:
        json.dump(summary, f, indent=1)
        f.write("\n")
    print(json.dumps(summary))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
