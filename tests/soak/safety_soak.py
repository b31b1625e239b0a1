#!/usr/bin/env python3
"""Longer rounds of the hostile settings the unit tests try a few times each.

Run once by hand (`make soak`), not by `make test`: it takes minutes. It
drives the axp program as a player's machine and a publisher would see it:

- two programs at work on one pack ("pack add" loops) and two applies at
  once on one installation: each run is done whole or turned away as in
  use, and the pack and the installation end sound;
- applies, seals and makes killed at random moments: run again, each one
  ends whole, and no work file stays behind;
- links planted in an installation: an apply refuses them (or, for names
  it only replaces, puts a file in the link's place) and writes nothing
  outside.

Prints one line of figures per part; exits 1 on the first thing lost or
written outside.

usage: safety_soak.py BUILD_DIR [ROUNDS]
"""
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

AXP = None
VERSIONS = None  # the folder holding v1 and v2
IN_USE = "in use by another program"
# The version check's answer to an apply whose package is in place already.
ALREADY_THERE = "is already at version"


def axp(*args, check=True):
    done = subprocess.run([AXP, *args], capture_output=True, text=True)
    if check and done.returncode != 0:
        fail("axp %s: %s" % (" ".join(args), done.stderr))
    return done


def fail(text):
    print("safety soak: FAILED: " + text, file=sys.stderr)
    sys.exit(1)


def snapshot(folder):
    """Every path below `folder` with its bytes' digest (or where a link points)."""
    seen = {}
    for top, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(top, name)
            if os.path.islink(path):
                seen[os.path.relpath(path, folder)] = "-> " + os.readlink(path)
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    seen[os.path.relpath(path, folder)] = hashlib.md5(f.read()).hexdigest()
    return seen


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_versions(work):
    """Two versions of a game: packs whose contents change, loose files
    replaced, added and deleted; big enough for a kill to land inside."""
    rng = random.Random(7)
    for version in ("v1", "v2"):
        os.makedirs(os.path.join(work, version))
        for pack in range(2):
            for i in range(12):
                write("%s/src%d/f%d.bin" % (work, pack, i), rng.randbytes(40000 + 3000 * i))
            axp("pack", "build", "%s/%s/data%d.axp" % (work, version, pack), "%s/src%d" % (work, pack))
        for i in range(6):
            write("%s/%s/loose%d.bin" % (work, version, i), rng.randbytes(300000))
        shutil.rmtree("%s/src0" % work)
        shutil.rmtree("%s/src1" % work)
    write(work + "/v1/gone.txt", b"deleted in version 2")
    write(work + "/v2/added/new.txt", b"added in version 2")
    axp("catalog", work + "/v1", "1.0.0.1")
    axp("catalog", work + "/v2", "1.0.0.2")
    axp("make", work + "/v1", work + "/v2", "-o", work + "/p.pkg")


def pack_rows(pack):
    return sorted(axp("pack", "ls", pack).stdout.splitlines())


def installation_matches(install, want):
    got = snapshot(install)
    got = {name: digest for name, digest in got.items() if not name.startswith("Patch")}
    for name, digest in want.items():
        if got.get(name) != digest and not name.endswith(".axp"):
            return "%s differs" % name
    for name in want:
        if name.endswith(".axp"):
            if axp("pack", "check", os.path.join(install, name), check=False).stdout != "ok\n":
                return "%s fails its check" % name
            if pack_rows(os.path.join(install, name)) != pack_rows(os.path.join(VERSIONS, "v2", name)):
                return "%s holds other files than version 2's" % name
    extra = sorted(set(got) - set(want))
    return "left over: %s" % extra if extra else ""


def concurrent_adds(work, rounds):
    pack = work + "/shared.axp"
    axp("pack", "create", pack)
    sources = []
    for writer in range(2):
        for r in range(rounds):
            name = "w%d-%d.bin" % (writer, r)
            write(work + "/adds/" + name, bytes([65 + writer]) * (3000 + 977 * r) + name.encode())
            sources.append(name)
    scripts = []
    for writer in range(2):
        names = [n for n in sources if n.startswith("w%d-" % writer)]
        lines = ["%s pack add %s %s %s/adds/%s 2>&1 || true" % (AXP, pack, n, work, n) for n in names]
        scripts.append(subprocess.Popen(["sh", "-c", "\n".join(lines)], stdout=subprocess.PIPE, text=True))
    outputs = [p.communicate()[0] for p in scripts]
    refused = sum(out.count(IN_USE) for out in outputs)
    other = [line for out in outputs for line in out.splitlines() if line and IN_USE not in line]
    if other:
        fail("pack add: " + other[0])
    if axp("pack", "check", pack).stdout != "ok\n":
        fail("the pack written by two programs fails its check")
    listed = {line.split("|")[0] for line in axp("pack", "ls", pack).stdout.splitlines()}
    for name in listed:
        with open(work + "/adds/" + name, "rb") as f:
            if subprocess.run([AXP, "pack", "cat", pack, name], capture_output=True).stdout != f.read():
                fail("%s reads back wrong" % name)
    if len(listed) + refused != 2 * rounds:
        fail("%d adds listed and %d refused of %d" % (len(listed), refused, 2 * rounds))
    print("concurrent pack adds: %d rounds, %d added, %d turned away as in use, pack sound"
          % (2 * rounds, len(listed), refused))


def concurrent_applies(work, rounds, want):
    applied = refused = 0
    for r in range(rounds):
        install = work + "/twice"
        shutil.rmtree(install, ignore_errors=True)
        shutil.copytree(work + "/v1", install, symlinks=True)
        runs = [subprocess.Popen([AXP, "apply", install, work + "/p.pkg"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, text=True)
                for _ in range(2)]
        for run in runs:
            err = run.communicate()[1]
            if run.returncode == 0:
                applied += 1
            elif IN_USE in err or ALREADY_THERE in err:
                refused += 1
            else:
                fail("apply beside another: " + err)
        axp("apply", install, work + "/p.pkg", check=False)  # a no-op after a whole apply
        problem = installation_matches(install, want)
        if problem:
            fail("two applies at once, round %d: %s" % (r, problem))
    print("concurrent applies: %d rounds of two, %d applied, %d turned away, installation whole each time"
          % (rounds, applied, refused))


def kill_at_random(command, longest, rng):
    run = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(rng.uniform(0, longest))
    killed = run.poll() is None
    if killed:
        run.send_signal(signal.SIGKILL)
    run.wait()
    return killed


def timed(command):
    start = time.monotonic()
    subprocess.run(command, check=True, capture_output=True)
    return time.monotonic() - start


def hidden_files(folder):
    return [n for top, _, files in os.walk(folder) for n in files if n.startswith(".")]


def killed_applies(work, rounds, want, rng):
    install = work + "/killed"
    shutil.rmtree(install, ignore_errors=True)
    shutil.copytree(work + "/v1", install)
    longest = timed([AXP, "apply", install, work + "/p.pkg"])
    kills = 0
    for r in range(rounds):
        shutil.rmtree(install)
        shutil.copytree(work + "/v1", install)
        kills += kill_at_random([AXP, "apply", install, work + "/p.pkg"], longest, rng)
        again = axp("apply", install, work + "/p.pkg", check=False)
        if again.returncode != 0 and ALREADY_THERE not in again.stderr:
            fail("apply after a kill, round %d: %s" % (r, again.stderr))
        problem = installation_matches(install, want) or " ".join(hidden_files(install))
        if problem:
            fail("apply after a kill, round %d: %s" % (r, problem))
    return kills


def killed_outputs(work, rounds, rng):
    """Seals and makes killed part way: the output is the old file or a
    whole package, and the next run leaves no work file."""
    kills = 0
    out = work + "/outputs"
    os.makedirs(out, exist_ok=True)
    plain = out + "/plain.zip"
    shutil.copy(work + "/p.pkg", plain)
    axp("package", "unseal", plain)
    seal_time = timed([AXP, "package", "seal", plain])
    make_time = timed([AXP, "make", work + "/v1", work + "/v2", "-o", out + "/made.pkg"])
    for r in range(rounds):
        shutil.copy(work + "/p.pkg", out + "/sealed.pkg")
        axp("package", "unseal", out + "/sealed.pkg")
        before = snapshot(out)["sealed.pkg"]
        kills += kill_at_random([AXP, "package", "seal", out + "/sealed.pkg"], seal_time, rng)
        if snapshot(out)["sealed.pkg"] == before:
            axp("package", "seal", out + "/sealed.pkg")  # the run again
        axp("package", "verify", out + "/sealed.pkg")
        with open(out + "/made.pkg", "wb") as f:
            f.write(b"an older package")
        kills += kill_at_random([AXP, "make", work + "/v1", work + "/v2", "-o", out + "/made.pkg"], make_time, rng)
        if snapshot(out)["made.pkg"] != hashlib.md5(b"an older package").hexdigest():
            axp("package", "verify", out + "/made.pkg")
        axp("make", work + "/v1", work + "/v2", "-o", out + "/made.pkg")
        if hidden_files(out):
            fail("a work file stayed after the make ran again: %s" % hidden_files(out))
    return kills


# A link planted in the installation, where it points outside, and whether
# the apply must refuse it (True) or may put a file in its place (False).
LINKS = [
    ("data0.axp", "outside/victim.axp", True),
    ("loose0.bin", "outside/victim.txt", True),
    ("added", "outside", True),
    ("ADDED", "outside", True),
    ("(version).tmp", "outside/victim.txt", False),
    ("Patch", "outside", False),
]


def link_scenarios(work):
    tried = 0
    for link, target, refused in LINKS:
        install = work + "/linked"
        outside = work + "/outside"
        for folder in (install, outside):
            shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(work + "/v1", install)
        write(outside + "/victim.txt", b"victim")
        shutil.copy(work + "/v1/data0.axp", outside + "/victim.axp")
        path = os.path.join(install, link)
        if os.path.exists(path):
            os.remove(path)
        os.symlink(os.path.join(work, target), path)
        before = snapshot(outside)
        done = axp("apply", install, work + "/p.pkg", check=False)
        if snapshot(outside) != before:
            fail("apply wrote outside through the link %s" % link)
        if refused and (done.returncode == 0 or "through a link" not in done.stderr):
            fail("a link at %s was not refused: %s" % (link, done.stderr))
        tried += 1
    print("links: %d scenarios, nothing written outside the installation" % tried)


def main():
    global AXP, VERSIONS
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    rng = random.Random(11)
    sys.stdout.reconfigure(line_buffering=True)
    with tempfile.TemporaryDirectory(prefix="axp-soak-") as work:
        os.environ["TMPDIR"] = work
        # A copy of its own, so that a rebuild meanwhile does not disturb the run.
        AXP = shutil.copy(os.path.join(sys.argv[1], "tools", "axp"), work)
        VERSIONS = work
        make_versions(work)
        want = snapshot(work + "/v2")
        concurrent_adds(work, rounds)
        concurrent_applies(work, rounds // 2, want)
        kills = killed_applies(work, rounds, want, rng)
        print("killed applies: %d runs, %d killed part way, each whole after running again" % (rounds, kills))
        kills = killed_outputs(work, rounds // 2, rng)
        print("killed seals and makes: %d runs, %d killed part way, every output old or whole" % (rounds, kills))
        link_scenarios(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
