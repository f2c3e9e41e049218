#!/usr/bin/env python3
"""Writes a synthetic iTunes library export with python3's plistlib.

usage: gen-itunes-library.py TRACKS OUTPUT

The records look like real exports: the usual track keys, dates, 64-bit
sizes, percent-escaped file://localhost/ Locations (some with non-ASCII
names), and playlists (master, music, a few user lists) whose Playlist
Items refer to tracks by Track ID. The same arguments always give the
same file.
"""

import datetime
import plistlib
import random
import sys
import urllib.parse

WORDS = ("love night heart fire rain blue gold river dream light shadow road home "
         "sun moon storm city wild young stone glass silver ocean summer winter").split()
ACCENTED = ["Café", "Señorita", "Über", "Ça va", "Déjà vu", "Mañana", "Zoë", "Ørsted",
            "Naïve", "Smörgås", "東京", "Привет", "❦ Fleuron"]
GENRES = ["Rock", "Pop", "Jazz", "Classical", "Electronic", "Hip-Hop", "Folk", "Blues",
          "Country", "Soundtrack", "Alternative", "R&B"]
KINDS = ["MPEG audio file", "AAC audio file", "Purchased AAC audio file", "Apple Lossless audio file"]


def title(rng, n):
    return " ".join(rng.choice(WORDS).capitalize() for _ in range(n))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: gen-itunes-library.py TRACKS OUTPUT")
    count = int(sys.argv[1])
    rng = random.Random(20041231)
    artists = [title(rng, rng.randint(1, 3)) for _ in range(max(1, count // 40))]
    artists += ACCENTED
    albums = [title(rng, rng.randint(1, 4)) for _ in range(max(1, count // 10))]
    base = datetime.datetime(2004, 1, 1)
    tracks = {}
    ids = []
    for i in range(count):
        tid = 1000 + 2 * i
        artist = rng.choice(artists)
        album = rng.choice(albums)
        name = title(rng, rng.randint(1, 5))
        if rng.random() < 0.08:
            name = rng.choice(ACCENTED) + " " + name
        number = rng.randint(1, 18)
        path = "/Users/someone/Music/iTunes/iTunes Music/%s/%s/%02d %s.mp3" % (
            artist, album, number, name)
        record = {
            "Track ID": tid,
            "Name": name,
            "Artist": artist,
            "Album Artist": artist,
            "Composer": rng.choice(artists),
            "Album": album,
            "Genre": rng.choice(GENRES),
            "Kind": rng.choice(KINDS),
            "Size": rng.randint(1_000_000, 20_000_000),
            "Total Time": rng.randint(60_000, 600_000),
            "Disc Number": 1,
            "Disc Count": 1,
            "Track Number": number,
            "Track Count": 18,
            "Year": rng.randint(1960, 2010),
            "Date Modified": base + datetime.timedelta(seconds=rng.randint(0, 10 ** 8)),
            "Date Added": base + datetime.timedelta(seconds=rng.randint(0, 10 ** 8)),
            "Bit Rate": rng.choice([128, 192, 256, 320]),
            "Sample Rate": 44100,
            "Play Count": rng.randint(0, 200),
            "Persistent ID": "%016X" % rng.getrandbits(64),
            "Track Type": "File",
            "Location": "file://localhost" + urllib.parse.quote(path),
            "File Folder Count": 4,
            "Library Folder Count": 1,
        }
        if rng.random() < 0.3:
            record["Play Date UTC"] = base + datetime.timedelta(seconds=rng.randint(0, 10 ** 8))
        tracks[str(tid)] = record
        ids.append(tid)

    def items(selection):
        return [{"Track ID": t} for t in selection]

    playlists = [
        {"Name": "Library", "Master": True, "Playlist ID": 1, "Playlist Persistent ID":
         "%016X" % rng.getrandbits(64), "Visible": False, "All Items": True,
         "Playlist Items": items(ids)},
        {"Name": "Music", "Playlist ID": 2, "Distinguished Kind": 4, "Music": True,
         "All Items": True, "Playlist Items": items(ids)},
        {"Name": "Podcasts", "Playlist ID": 3, "Podcasts": True, "All Items": True},
    ]
    for p in range(20):
        chosen = rng.sample(ids, min(len(ids), rng.randint(1, 500)))
        playlists.append({"Name": title(rng, 2), "Playlist ID": 10 + p,
                          "Playlist Persistent ID": "%016X" % rng.getrandbits(64),
                          "All Items": True, "Playlist Items": items(chosen)})
    library = {
        "Major Version": 1,
        "Minor Version": 1,
        "Date": base,
        "Application Version": "9.2.1",
        "Features": 5,
        "Show Content Ratings": True,
        "Music Folder": "file://localhost/Users/someone/Music/iTunes/iTunes%20Music/",
        "Library Persistent ID": "%016X" % rng.getrandbits(64),
        "Tracks": tracks,
        "Playlists": playlists,
    }
    with open(sys.argv[2], "wb") as f:
        plistlib.dump(library, f, sort_keys=False)


if __name__ == "__main__":
    main()
