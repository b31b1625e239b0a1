#!/usr/bin/env python3
"""Writes two versions of a sample 《溪云归棹》 installation for the demo.

    make_sample_game.py --axp PATH/TO/axp OUT

OUT/old is version 1.0.0.0 and OUT/new is version 1.0.1.0. Each holds loose
files in a few folders (Launch.exe, Game.exe, libraries, settings, notes)
and .axp packs built with "axp pack build" from staged folders, which are
removed again afterwards. Neither version gets a "(version)" catalogue:
that is the job of "axp catalog".

The new version changes about a tenth of the packed files (some keeping
their size, so only the checksum tells), adds and removes packed and loose
files, moves one loose file into a pack, brings the new pack
Data/Music.axp and drops Data/Old.axp. Some files are empty, and many
names are Chinese, written as GBK bytes the way the game's own Windows
installations name them.

Everything is drawn from one fixed seed, so every run writes the same bytes.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

SEED = 20240611
OLD_VERSION = "1.0.0.0"
NEW_VERSION = "1.0.1.0"
SHARED_MEMORY = "/dev/shm"

# Pack name inside the installation -> name of its staging folder.
PACKS = {
    "Data/Scene.axp": "Scene",
    "Data/Texture.axp": "Texture",
    "Data/Interface.axp": "Interface",
    "Data/Old.axp": "Old",
    "Data/Music.axp": "Music",
}

# Words for Chinese names. The catalogue and the (list) rows split at "|"
# and path handling splits at "\", byte by byte, so characters whose GBK
# trail byte is 0x7C or 0x5C cannot appear in a file name; gbk_words drops
# them. Some kept characters have trail bytes in the range of ASCII
# capitals (風, 鶴, 淚), which must never be changed by case folding.
CHINESE_WORDS = (
    "场景 地图 主城 野外 副本 怪物 技能 特效 角色 武器 装备 坐骑 音乐 音效 界面 图标 登录 选择 "
    "天空 水面 山脉 森林 沙漠 雪原 洞穴 宫殿 客栈 码头 溪云 归棹 江南 长安 洛阳 苏州 杭州 扬州 "
    "金陵 渡口 竹林 桃花 月色 烟雨 古琴 琵琶 笛子 钟声 贴图 人物 服饰 发型 表情 按钮 窗口 对话 "
    "任务 商店 背包 地面 建筑 树木 花草 石头 道具 剧情 过场 动画 雷电 火焰 冰霜 剑气 轻功 内力 "
    "门派 大漠 孤烟 长河 落日 渔舟 唱晚 乌篷 画舫 石桥 茶楼 酒肆 书院 庙宇 灯笼 风筝 風雲 鶴鳴 "
    "淚痕 醉墨 碶石 弢光 蕓薹"
).split()

ASCII_WORDS = (
    "actor mesh bone frame light shadow water grass stone tree house bridge river mountain cloud "
    "wind fire ice thunder blade sword spear bow staff robe boots helm ring jade scroll quest shop "
    "bag npc guard merchant monk scholar boat lantern tea wine market temple gate wall tower road"
).split()

NOTES_OLD = (
    "《溪云归棹》 1.0.0.0\r\n"
    "\r\n"
    "欢迎来到溪云归棹的世界。\r\n"
)

NOTES_NEW = (
    "《溪云归棹》 1.0.1.0 更新说明\r\n"
    "\r\n"
    "1. 新增背景音乐资源包。\r\n"
    "2. 优化长安、洛阳等场景的地图与贴图。\r\n"
    "3. 特效文件移入场景资源包。\r\n"
    "4. 移除旧版资源包。\r\n"
)


def gbk(text):
    return text.encode("gbk")


def gbk_words():
    """The Chinese words whose GBK bytes can stand in a file name."""
    usable = []
    for word in CHINESE_WORDS:
        data = gbk(word)
        trail_bytes = data[1::2]
        if b"\\" not in trail_bytes and b"|" not in trail_bytes:
            usable.append(data)
    return usable


class Content:
    """Makes file contents from one random generator."""

    def __init__(self, rng):
        self.rng = rng

    def text(self, size):
        """Lines of words: packs well, as scripts and settings do."""
        rng = self.rng
        parts = []
        length = 0
        while length < size:
            line = " ".join(rng.choices(ASCII_WORDS, k=rng.randint(3, 12)))
            line += " = %d\r\n" % rng.randint(0, 99999)
            parts.append(line)
            length += len(line)
        return "".join(parts).encode("ascii")[:size]

    def binary(self, size):
        """Random bytes: does not pack at all, as compressed media do not."""
        return self.rng.randbytes(size)

    def mixed(self, size):
        """A header, random bytes and runs of repeated bytes, as in models."""
        rng = self.rng
        out = bytearray(b"QELT")
        while len(out) < size:
            if rng.random() < 0.5:
                out += rng.randbytes(rng.randint(16, 512))
            else:
                out += bytes([rng.randrange(256)]) * rng.randint(16, 512)
        return bytes(out[:size])

    def texture(self, size):
        header = b"DDS " + size.to_bytes(4, "little") + bytes(120)
        return (header + self.binary(max(size - len(header), 0)))[:size]

    def executable(self, size):
        header = b"MZ\x90\x00" + bytes(60) + b"This program cannot be run in DOS mode.\r\r\n$"
        return (header + self.mixed(max(size - len(header), 0)))[:size]

    def like(self, old):
        """New contents for a changed file: of the same kind, half of the
        time of the same size (only the checksum then tells)."""
        rng = self.rng
        size = len(old) if rng.random() < 0.5 else max(1, len(old) + rng.randint(-len(old) // 3, 2048))
        if old.startswith(b"DDS "):
            return self.texture(size)
        if old.startswith(b"MZ"):
            return self.executable(size)
        if old.startswith(b"QELT"):
            return self.mixed(size)
        if old.isascii():
            data = self.text(size)
            return data if data != old else self.text(size + 1)
        return self.binary(size)


def old_version(rng, content):
    """The installation of 1.0.0.0: loose files and pack contents, every
    name as bytes with "/" between components."""
    chinese = gbk_words()
    loose = {
        b"Launch.exe": content.executable(48 * 1024),
        b"Game.exe": content.executable(320 * 1024),
        b"Update.txt": gbk(NOTES_OLD),
        b"Bin/zlib1.dll": content.executable(72 * 1024),
        b"Bin/fmod.dll": content.executable(96 * 1024),
        b"Bin/lua51.dll": content.executable(64 * 1024),
        b"Config/system.cfg": content.text(3000),
        b"Config/keymap.ini": content.text(1800),
        b"Config/server.lst": content.text(900),
        b"Docs/readme.txt": content.text(5000),
        b"Docs/license.txt": content.text(7000),
        b"Docs/" + gbk("玩家手册") + b".txt": gbk("玩家手册\r\n" * 40),
        b"Data/Effect/fire.eff": content.mixed(6000),
        b"Data/Effect/smoke.eff": content.mixed(4000),
        b"Sound/" + gbk("按钮") + b".wav": content.binary(12000),
        b"Sound/" + gbk("钟声") + b".wav": content.binary(20000),
        b"Logs/empty.log": b"",
    }

    packs = {name: {} for name in PACKS if name != "Data/Music.axp"}

    scene = packs["Data/Scene.axp"]
    scene_files = [
        ("terrain.dat", content.mixed), ("height.raw", content.binary), ("objects.xml", content.text),
        ("lights.ini", content.text), ("npc.lst", content.text), ("path.nav", content.mixed),
        ("water.dat", content.mixed), ("grass.dat", content.mixed), ("sky.cfg", content.text),
        ("sound.lst", content.text), ("trigger.lua", content.text), ("region.dat", content.mixed),
        ("camera.cfg", content.text), ("minimap.tga", content.binary),
    ]
    for map_number in range(128):
        for file_name, make in scene_files:
            name = b"scene/map%03d/%s" % (map_number, file_name.encode())
            scene[name] = make(rng.randint(200, 6000))
    cities = chinese[:10]
    items = chinese[10:24]
    for city in cities:
        for item in items:
            scene[gbk("场景") + b"/" + city + b"/" + item + b".dat"] = content.mixed(rng.randint(200, 6000))
    for number in range(4):
        scene[b"scene/empty/marker%d.dat" % number] = b""

    texture = packs["Data/Texture.axp"]
    categories = ["character", "monster", "weapon", "item", "terrain", "effect", "ui"]
    for number in range(940):
        category = categories[number % len(categories)]
        texture[b"texture/%s/%s%04d.dds" % (category.encode(), category.encode(), number)] = content.texture(
            rng.randint(1024, 12 * 1024))
    for kind in chinese[24:30]:
        for number in range(10):
            texture[gbk("贴图") + b"/" + kind + b"/" + b"%02d.dds" % number] = content.texture(rng.randint(1024, 8192))

    interface = packs["Data/Interface.axp"]
    for number in range(120):
        interface[b"ui/frame%03d.xml" % number] = content.text(rng.randint(300, 3000))
        interface[b"ui/frame%03d.lua" % number] = content.text(rng.randint(300, 3000))
    for word in chinese[30:40]:
        interface[gbk("界面") + b"/" + word + b".xml"] = content.text(rng.randint(300, 3000))

    old_pack = packs["Data/Old.axp"]
    for number in range(40):
        old_pack[b"legacy/old%02d.dat" % number] = content.mixed(rng.randint(500, 4000))
    old_pack[gbk("旧版") + b"/" + gbk("资料") + b".dat"] = content.mixed(3000)

    return loose, packs


def new_version(rng, content, old_loose, old_packs):
    """1.0.1.0, made from 1.0.0.0 by the changes the patch must carry."""
    chinese = gbk_words()
    loose = dict(old_loose)
    loose[b"Launch.exe"] = content.executable(len(old_loose[b"Launch.exe"]))
    loose[b"Game.exe"] = content.executable(352 * 1024)
    loose[b"Update.txt"] = gbk(NOTES_NEW)
    del loose[b"Bin/fmod.dll"]
    loose[b"Bin/openal.dll"] = content.executable(80 * 1024)
    loose[b"Config/system.cfg"] = content.like(old_loose[b"Config/system.cfg"])
    loose[b"Config/empty.flag"] = b""
    loose[b"Docs/" + gbk("更新日志") + b".txt"] = gbk(NOTES_NEW)
    loose[b"Sound/" + gbk("钟声") + b".wav"] = b""
    moved = loose.pop(b"Data/Effect/fire.eff")

    # Data/Old.axp goes, Data/Interface.axp stays as it was.
    packs = {"Data/Interface.axp": dict(old_packs["Data/Interface.axp"])}
    for pack_name in ("Data/Scene.axp", "Data/Texture.axp"):
        files = dict(old_packs[pack_name])
        names = sorted(files)
        changed = rng.sample(names, len(names) // 10)
        for name in changed:
            files[name] = content.like(files[name]) if files[name] else content.mixed(1500)
        changed_set = set(changed)
        untouched = [name for name in names if name not in changed_set]
        for name in rng.sample(untouched, len(names) // 50):
            del files[name]
        packs[pack_name] = files

    scene = packs["Data/Scene.axp"]
    scene[b"effect/fire.eff"] = moved
    for map_number in range(128, 131):
        for file_name in ("terrain.dat", "objects.xml", "npc.lst", "trigger.lua"):
            scene[b"scene/map%03d/%s" % (map_number, file_name.encode())] = content.text(rng.randint(200, 4000))
    for item in chinese[40:52]:
        scene[gbk("场景") + b"/" + gbk("扬州") + b"/" + item + b".dat"] = content.mixed(rng.randint(200, 6000))
    for number in range(3):
        scene[b"scene/empty/new%d.dat" % number] = b""
    # A packed file that becomes empty.
    scene[b"scene/map000/sound.lst"] = b""

    texture = packs["Data/Texture.axp"]
    for number in range(940, 970):
        texture[b"texture/mount/mount%04d.dds" % number] = content.texture(rng.randint(1024, 12 * 1024))

    music = {}
    for number in range(16):
        music[b"music/track%02d.ogg" % number] = content.binary(rng.randint(16 * 1024, 48 * 1024))
    for word in chinese[52:60]:
        music[gbk("音乐") + b"/" + word + b".ogg"] = content.binary(rng.randint(16 * 1024, 48 * 1024))
    packs["Data/Music.axp"] = music

    return loose, packs


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def write_version(root, stage, loose, packs, axp):
    os.makedirs(root)
    # The patch program files the used package in the Patch folder.
    os.makedirs(os.path.join(root, b"Patch"))
    for name, data in loose.items():
        write_file(os.path.join(root, name), data)
    for pack_name, files in packs.items():
        staged = os.path.join(stage, PACKS[pack_name].encode())
        for name, data in files.items():
            write_file(os.path.join(staged, name), data)
        pack_path = os.path.join(root, pack_name.encode())
        os.makedirs(os.path.dirname(pack_path), exist_ok=True)
        run = subprocess.run([axp, b"pack", b"build", pack_path, staged], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        if run.returncode != 0:
            sys.stderr.write(run.stdout.decode(errors="replace") + run.stderr.decode(errors="replace"))
            raise SystemExit("make_sample_game: axp pack build %s failed (exit %d)" % (pack_name, run.returncode))


def describe(label, version, loose, packs):
    packed = sum(len(files) for files in packs.values())
    size = sum(len(data) for data in loose.values())
    size += sum(len(data) for files in packs.values() for data in files.values())
    print("%s %s: %d loose files, %d packed files in %d packs, %.1f MB" % (
        label, version, len(loose), packed, len(packs), size / 1e6))


def main():
    parser = argparse.ArgumentParser(description="Write two versions of a sample game installation.")
    parser.add_argument("--axp", required=True, help="the axp tool, to build the packs")
    parser.add_argument("--stage", help="where to stage the pack contents (default: a temporary folder in "
                        "/dev/shm when there is one, else in OUT)")
    parser.add_argument("out", help="folder to write old/ and new/ into (replaced)")
    arguments = parser.parse_args()

    rng = random.Random(SEED)
    content = Content(rng)
    old_loose, old_packs = old_version(rng, content)
    new_loose, new_packs = new_version(rng, content, old_loose, old_packs)

    out = os.fsencode(arguments.out)
    axp = os.fsencode(arguments.axp)
    for part in (b"old", b"new"):
        shutil.rmtree(os.path.join(out, part), ignore_errors=True)
    os.makedirs(out, exist_ok=True)
    # Thousands of small files are made and removed again: in memory that
    # takes a fraction of the time it takes on many disks.
    stage_parent = arguments.stage or (SHARED_MEMORY if os.access(SHARED_MEMORY, os.W_OK) else arguments.out)
    stage = os.fsencode(tempfile.mkdtemp(prefix="qelt-stage-", dir=stage_parent))
    try:
        write_version(os.path.join(out, b"old"), os.path.join(stage, b"old"), old_loose, old_packs, axp)
        write_version(os.path.join(out, b"new"), os.path.join(stage, b"new"), new_loose, new_packs, axp)
    finally:
        shutil.rmtree(stage, ignore_errors=True)

    describe("old", OLD_VERSION, old_loose, old_packs)
    describe("new", NEW_VERSION, new_loose, new_packs)


if __name__ == "__main__":
    main()
