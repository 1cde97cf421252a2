#!/usr/bin/env python3
"""Makes the sources of the sample title "夕凪の丘" in one folder, beside a
copy of its manifest, ready for `mora pack OUT/title.json -o MEDIA`.

    make-sources.py OUT --setup PROGRAM --game PROGRAM --runtime PROGRAM

PROGRAM files are the setup program, the sample game and the stand-in
runtime installer of one build (native or Windows); native programs are
copied without their debugging information, so the disks stay small. The
rest is drawn or generated here, the same bytes on every run:

  art/back.png         the background picture (640 x 480): an evening sky
                       over the sea and the hills, with the title
  doc/readme.txt       the read-me, Shift-JIS with CR LF line ends
  scenario/*.txt       scenario scripts (Shift-JIS text, compresses well)
  voice/*.raw          voice stand-ins (noise, stored as it is)
  bgm/*.wav            short tunes (16-bit mono PCM)
  cg/*.bmp             event pictures (24-bit BMP, compresses well)
  movie/*.mpg          movie stand-ins (noise)
  redist/directx/dxsetup.exe, redist/winmedia/mp71.exe
                       the stand-in runtime installer under both names

Needs Pillow and the IPA P Gothic font (fonts-ipafont-gothic).
"""
import argparse
import math
import os
import random
import shutil
import struct
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 640, 480
HORIZON = 300
FONTS = (
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def copy_program(source, target):
    """Copies a program; an ELF program loses its debugging information."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(source, "rb") as f:
        elf = f.read(4) == b"\x7fELF"
    if elf and shutil.which("strip"):
        subprocess.run(["strip", "--strip-debug", "-o", target, source], check=True)
    else:
        shutil.copyfile(source, target)
    shutil.copymode(source, target)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def gradient(stops, t):
    """The colour at t (0..1) of a gradient through (position, colour) stops."""
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0)
    return stops[-1][1]


def font(size):
    for path in FONTS:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    sys.exit("make-sources: no Japanese font (install fonts-ipafont-gothic): " + ", ".join(FONTS))


def draw_background(path):
    """An evening sky over a calm sea with hills, and the title. The sky is
    the same across each row, so most of its tiles repeat one another."""
    sky = [(0.0, (24, 28, 72)), (0.45, (92, 60, 128)), (0.8, (226, 116, 120)),
           (1.0, (252, 186, 110))]
    sea = [(0.0, (198, 120, 120)), (0.35, (88, 62, 116)), (1.0, (20, 24, 58))]
    image = Image.new("RGB", (WIDTH, HEIGHT))
    pixels = image.load()
    for y in range(HEIGHT):
        if y < HORIZON:
            colour = gradient(sky, y / (HORIZON - 1))
        else:
            colour = gradient(sea, (y - HORIZON) / (HEIGHT - HORIZON - 1))
        for x in range(WIDTH):
            pixels[x, y] = colour

    # The setting sun with a soft glow, and its reflection on the water.
    sun_x, sun_y, radius = 452, HORIZON - 14, 34
    glow = Image.new("L", (WIDTH, HEIGHT), 0)
    ImageDraw.Draw(glow).ellipse((sun_x - 90, sun_y - 90, sun_x + 90, sun_y + 90), fill=120)
    glow = glow.filter(ImageFilter.GaussianBlur(40))
    image = Image.composite(Image.new("RGB", image.size, (255, 214, 150)), image, glow)
    draw = ImageDraw.Draw(image)
    draw.ellipse((sun_x - radius, sun_y - radius, sun_x + radius, sun_y + radius),
                 fill=(255, 232, 176))
    for row in range(12):
        y = HORIZON + 8 + row * 12
        half = 46 - row * 3
        draw.line((sun_x - half, y, sun_x + half, y), fill=(250, 196, 140), width=2)

    # Two ranges of hills on the left, the far one lighter.
    for reach, height, phase, colour in ((380, 70, 0.6, (70, 46, 96)),
                                         (300, 48, 2.1, (40, 28, 66))):
        outline = []
        for x in range(0, reach + 1, 4):
            fall = 1 - x / reach
            y = HORIZON - height * fall * (0.75 + 0.25 * math.sin(x / 23 + phase))
            outline.append((x, round(y)))
        outline.append((0, HORIZON))
        draw.polygon(outline, fill=colour)

    # The title with a shadow, and a smaller line below it.
    title, subtitle = "夕凪の丘", "Yunagi no Oka  ―  見本タイトル"
    big, small = font(64), font(20)
    draw.text((54, 62), title, font=big, fill=(30, 20, 50))
    draw.text((50, 58), title, font=big, fill=(255, 246, 236))
    draw.text((54, 140), subtitle, font=small, fill=(236, 222, 240))
    image.save(path)


def scenario(number):
    """A scenario script: scenes of lines in the engine's plain text form."""
    rng = random.Random(1000 + number)
    names = ["灯", "湊", "凪", "先生"]
    phrases = ["夕方の風が止んだ。", "丘の上から海が見える。", "また明日、ここで会おう。",
               "波の音だけが聞こえる。", "空が少しずつ紫に変わっていく。",
               "約束、覚えてる?", "灯台の明かりがともった。"]
    lines = [f"; 第{number}章"]
    for scene in range(1, 41):
        lines.append(f"*scene{number:02d}_{scene:03d}")
        lines.append(f"@bg cg\\ev{(scene % 6) + 1:02d}.bmp")
        for _ in range(12):
            lines.append(f"【{rng.choice(names)}】「{rng.choice(phrases)}」")
        lines.append("@wait click")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def tune(number, seconds=3.0, rate=22050):
    """A short tune as a 16-bit mono WAV file: a few notes with a soft start
    and end each."""
    scale = [0, 2, 4, 7, 9, 12, 14]
    rng = random.Random(2000 + number)
    notes = [rng.choice(scale) for _ in range(12)]
    per_note = int(rate * seconds / len(notes))
    samples = bytearray()
    for note in notes:
        freq = 220.0 * 2 ** ((note + 3 * number) / 12)
        for i in range(per_note):
            envelope = min(1.0, i / 400, (per_note - i) / 800)
            value = 0.3 * envelope * math.sin(2 * math.pi * freq * i / rate)
            samples += struct.pack("<h", round(value * 32767))
    header = b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
    header += b"data" + struct.pack("<I", len(samples))
    return header + bytes(samples)


def event_picture(path, number):
    """An event picture: a two-colour gradient with a few circles."""
    rng = random.Random(3000 + number)
    top = tuple(rng.randrange(40, 220) for _ in range(3))
    bottom = tuple(rng.randrange(20, 160) for _ in range(3))
    image = Image.new("RGB", (320, 240))
    draw = ImageDraw.Draw(image)
    for y in range(240):
        draw.line((0, y, 319, y), fill=mix(top, bottom, y / 239))
    for _ in range(5):
        x, y, r = rng.randrange(320), rng.randrange(240), rng.randrange(10, 50)
        draw.ellipse((x - r, y - r, x + r, y + r), fill=tuple(rng.randrange(256) for _ in range(3)))
    image.save(path, "BMP")


def noise(label, count, seed):
    """A stand-in for media that is compressed already: a short text saying
    what it stands for, then noise."""
    head = f"Mora Setup sample title: stand-in {label}\r\n".encode("ascii")
    return head + random.Random(seed).randbytes(count - len(head))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--setup", required=True)
    parser.add_argument("--game", required=True)
    parser.add_argument("--runtime", required=True)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)

    shutil.copyfile(os.path.join(HERE, "title.json"), os.path.join(out, "title.json"))
    copy_program(args.setup, os.path.join(out, "setup-program"))
    copy_program(args.game, os.path.join(out, "bin", "yunagi.exe"))
    for name in ("directx/dxsetup.exe", "winmedia/mp71.exe"):
        copy_program(args.runtime, os.path.join(out, "redist", name))

    with open(os.path.join(HERE, "readme.txt"), encoding="utf-8") as f:
        readme = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
    write(os.path.join(out, "doc", "readme.txt"), readme.encode("cp932"))

    os.makedirs(os.path.join(out, "art"), exist_ok=True)
    draw_background(os.path.join(out, "art", "back.png"))
    for number in range(1, 9):
        write(os.path.join(out, "scenario", f"ch{number:02d}.txt"), scenario(number))
    for number in range(1, 17):
        write(os.path.join(out, "voice", f"v{number:03d}.raw"),
              noise(f"voice {number}", 32 * 1024, 4000 + number))
    for number, name in enumerate(("title", "evening", "ending"), 1):
        write(os.path.join(out, "bgm", f"{name}.wav"), tune(number))
    os.makedirs(os.path.join(out, "cg"), exist_ok=True)
    for number in range(1, 7):
        event_picture(os.path.join(out, "cg", f"ev{number:02d}.bmp"), number)
    for number, name in enumerate(("op", "ed"), 1):
        write(os.path.join(out, "movie", f"{name}.mpg"),
              noise(f"movie {name}", 700 * 1024, 5000 + number))
    print(f"make-sources: the sample title's sources are in {out}")


if __name__ == "__main__":
    main()
