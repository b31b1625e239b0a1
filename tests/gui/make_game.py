#!/usr/bin/env python3
"""Two versions of a small game for the window tests: OLD and NEW, where NEW
changes every data file, adds the release notes "Update.txt" (GBK, as the
publishers write them) and drops one file. The data files are many and not
very compressible, so that applying takes a moment the tests can watch.

    make_game.py FOLDER FILES KILOBYTES
"""
import os
import random
import sys

NOTES = """《溪云归棹》1.0.1.0 更新说明

一、新增"归棹"剧情章节。
二、修正部分场景贴图错误。
三、优化读取速度。

感谢各位玩家的支持!
"""


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main():
    folder, files, kilobytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    chance = random.Random(7)
    for version in ("old", "new"):
        root = os.path.join(folder, version)
        write(os.path.join(root, "Launch.txt"), b"launcher stand-in\r\n")
        for i in range(files):
            # Random words: LZMA packs them, but not to nothing.
            words = [b"%x" % chance.getrandbits(24) for _ in range(kilobytes * 160)]
            write(os.path.join(root, "Data", "part%03d.dat" % i), b" ".join(words))
    write(os.path.join(folder, "old", "Data", "retired.dat"), b"gone in 1.0.1.0\r\n")
    write(os.path.join(folder, "new", "Update.txt"), NOTES.replace("\n", "\r\n").encode("gbk"))


if __name__ == "__main__":
    main()
