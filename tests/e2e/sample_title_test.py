#!/usr/bin/python3
"""The main job's native steps on the sample title, checked: scripts/demo
--no-build packs samples/title with the programs of one build, installs both
disks with `mora install` into a fresh MORA_HOME and removes the
installation again. What the demo shows must be what the manifest's rules
give: loose files copied as they are, the installed archive of the size
install.dat promises, the registry value and the three shortcuts, the
picture as it was drawn; and afterwards nothing of the title is left. Also:
the first disk alone is not enough (the second one is asked for).

    sample_title_test.py --bin BUILD/bin --work DIR
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

from PIL import Image, ImageChops

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TITLE = "夕凪の丘"
DEST_DRIVE = "C:\\Program Files\\Mora Soft\\" + TITLE + "\\"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)


def section(output, heading):
    """The lines the demo printed under one heading."""
    match = re.search(r"^== " + re.escape(heading) + r".*?\n(.*?)(?=^== |\Z)", output, re.M | re.S)
    return match.group(1) if match else ""


def listed_sizes(text):
    """{name: size} of a tree listing ("  1,234  bgm/title.wav")."""
    sizes = {}
    for line in text.splitlines():
        match = re.match(r"^\s+([\d,]+)  (\S.*)$", line)
        if match:
            sizes[match.group(2)] = int(match.group(1).replace(",", ""))
    return sizes


def settings_of(mora, path):
    result = subprocess.run([mora, "settings", "--json", path], capture_output=True, check=True)
    return json.loads(result.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    mora = os.path.join(args.bin, "mora")
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    demo = subprocess.run([os.path.join(ROOT, "scripts", "demo"), "--no-build", "--bin", args.bin,
                           "--out", work], capture_output=True, text=True, env=env)
    output = demo.stdout + demo.stderr
    with open(os.path.join(work, "demo.log"), "w", encoding="utf-8") as f:
        f.write(output)
    if demo.returncode != 0:
        print(output)
        sys.exit(f"the demo failed with exit code {demo.returncode}")

    title = os.path.join(work, "title")
    media = os.path.join(work, "media")
    disk1 = settings_of(mora, os.path.join(media, "disk1", "install.dat"))
    check(disk1["DiskCount"] == 2, "the title has two disks")

    # The installation: loose files as they are on the sources, the archive
    # holding the data part of both disks, and the settings and uninstaller.
    installed = listed_sizes(section(output, "Installed files"))
    size = lambda *path: os.path.getsize(os.path.join(title, *path))
    expected = {
        "yunagi.exe": size("bin", "yunagi.exe"),
        "readme.txt": size("doc", "readme.txt"),
        "install.exe": size("setup-program"),
        "game.dat": disk1["DataSize"],
    }
    for folder, part in (("bgm", "bgm"), ("movie", "movie")):
        for name in os.listdir(os.path.join(title, folder)):
            expected[f"{part}/{name}"] = size(folder, name)
    for name, want in expected.items():
        check(installed.get(name) == want, f"installed {name}: {installed.get(name)} bytes, expected {want}")
    check(disk1["DataSize"] > 0 and settings_of(mora, os.path.join(media, "disk2", "install.dat"))
          ["DiskDataSizes"][1] > 0, "disk 2 carries part of the data")
    check({"game.ext", "install.dat"} <= installed.keys(), "game.ext and install.dat are installed")
    extra = set(installed) - set(expected) - {"game.ext", "install.dat"}
    check(not extra, f"nothing else is installed: {sorted(extra)}")

    registry = section(output, "Registry")
    check(f"HKEY_CURRENT_USER\\Software\\Mora Soft\\Yunagi\\InstallPath (REG_SZ) = {DEST_DRIVE}"
          in registry, "the registry value InstallPath names the installation folder")

    shortcuts = section(output, "Shortcuts")
    for name, target in ((TITLE, "yunagi.exe"), (TITLE + "のアンインストール", "install.exe"),
                         ("お読みください", "readme.txt")):
        check(f"--- applications/{TITLE}/{name}.desktop\nName={name}\n" in shortcuts,
              f"the shortcut {name} is shown")
        check(f"X-Mora-Target={DEST_DRIVE.replace(chr(92), chr(92) * 2)}{target}" in shortcuts,
              f"the shortcut {name} starts {target}")

    picture = Image.open(os.path.join(work, "back.png")).convert("RGB")
    source = Image.open(os.path.join(title, "art", "back.png")).convert("RGB")
    check(picture.size == source.size and ImageChops.difference(picture, source).getbbox() is None,
          "the picture read back from disk 1 is the one drawn")

    # Removed: the folder, the program group, the registry key.
    home = os.path.join(work, "home")
    check(not os.path.exists(os.path.join(home, "prefix", "drive_c", "Program Files", "Mora Soft", TITLE)),
          "the installation folder is gone")
    check(not os.path.exists(os.path.join(home, "applications", TITLE)), "the program group is gone")
    with open(os.path.join(home, "registry.json"), encoding="utf-8") as f:
        check("Yunagi" not in f.read(), "the registry key is gone")
    check("(no values)" in section(output, "What remains"), "the demo shows no registry value left")

    # Disk 1 alone: the installation of every part needs disk 2.
    env["MORA_HOME"] = os.path.join(work, "home-disk1")
    os.makedirs(env["MORA_HOME"])
    alone = subprocess.run([mora, "install", os.path.join(media, "disk1"), "--parts", "data,sound,movie",
                            "--dry-run", "--yes", "--json"], capture_output=True, text=True, env=env)
    check(alone.returncode == 6, f"disk 1 alone ends with exit code 6, not {alone.returncode}")
    check('"missing-disk"' in alone.stdout, "disk 1 alone reports the missing disk")

    if failures:
        sys.exit(f"{len(failures)} check(s) failed; the demo's output is in {work}/demo.log")
    print("sample title: packed, installed and removed as expected")


if __name__ == "__main__":
    main()
