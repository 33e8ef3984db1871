#!/usr/bin/env python3
"""Times veldra-install against the tools a user would otherwise type, on tmpfs and on the work
disk, and writes bench/results.md.

For each set of files and each place, every run creates a fresh copy of the set (untimed, then
synced to disk) for each tool in turn, the order rotating from run to run, and times the move.
Reports medians."""
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXE = os.path.join(ROOT, "build/release/veldra-install")
BARE = os.path.join(ROOT, "build/release/bench/bare_copy")
WINDOWS_EXE = os.path.join(ROOT, "build/win32/veldra-install.exe")
RUNS = int(os.environ.get("BENCH_RUNS", 5))
KIB = 1024

SETS = [  # (name, [(count, size, suffix)])
    ("10,000 headers of 1 KiB + 1,000 libraries of 256 KiB", [(10000, KIB, ".h"),
                                                            (1000, 256 * KIB, ".lib")]),
    ("1,000 headers of 1 KiB", [(1000, KIB, ".h")]),
    ("100,000 headers of 1 KiB", [(100000, KIB, ".h")]),
]
PLACES = [("tmpfs", "/dev/shm/veldra-bench"), ("disk", os.path.join(ROOT, "build/bench-work"))]


def each_pattern(command):
    return " && ".join(command.format(pattern=p, folder=f)
                       for p, f in (("*.h", "INCLUDE"), ("*.lib", "LIB")))


FIND = "find . -maxdepth 1 -type f -name '{pattern}'"
TOOLS = [  # (name, shell command run in the set's directory)
    ("veldra-install", EXE + " >/dev/null"),
    ("cp -p + rm", "mkdir -p INCLUDE LIB && " + each_pattern(FIND + " -exec cp -p -t {folder} {{}} +") +
     " && " + each_pattern(FIND + " -exec rm -f {{}} +")),
    ("mv", "mkdir -p INCLUDE LIB && " + each_pattern(FIND + " -exec mv -t {folder} {{}} +")),
    ("rsync --fsync", "mkdir -p INCLUDE LIB && " + each_pattern(
        FIND + " -printf '%P\\0' | rsync -a --fsync --remove-source-files --from0 "
               "--files-from=- ./ {folder}/")),
    ("copy lower bound", BARE),
]


def make_set(directory, layout):
    os.makedirs(directory)
    block = os.urandom(256 * KIB)
    for count, size, suffix in layout:
        for i in range(count):
            fd = os.open(os.path.join(directory, f"f{i:06d}{suffix}"), os.O_WRONLY | os.O_CREAT)
            os.write(fd, block[i % 997:i % 997 + size])
            os.close(fd)
    # Some files that are not ours, left alone by every tool.
    for i in range(10):
        with open(os.path.join(directory, f"notes{i}.txt"), "wb") as f:
            f.write(block[:KIB])
    os.sync()


def timed(command, directory):
    """Runs the command; returns (seconds, peak resident memory in KiB)."""
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "sh", "-c", command], cwd=directory,
                          capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{command} failed: {done.stderr}")
    return seconds, int(done.stderr.strip().splitlines()[-1])


def check_moved(directory, layout):
    for count, _, suffix in layout:
        folder = "INCLUDE" if suffix == ".h" else "LIB"
        if len(os.listdir(os.path.join(directory, folder))) != count:
            sys.exit(f"{directory}: not everything was moved into {folder}")


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), platform.processor())
    memory = next(int(line.split()[1]) for line in open("/proc/meminfo")
                  if line.startswith("MemTotal")) // (1024 * 1024)
    disk = subprocess.run(["df", "--output=fstype,source", ROOT], capture_output=True,
                          text=True).stdout.split("\n")[1].split()
    versions = {tool: subprocess.run([tool, "--version"], capture_output=True,
                                     text=True).stdout.splitlines()[0]
                for tool in ("cp", "rsync")}
    return (f"{cpu}, {os.cpu_count()} cores, {memory} GiB; Linux {platform.release()}; "
            f"work disk {disk[0]} on {disk[1]}; {versions['cp']}; {versions['rsync']}")


def main():
    rng = random.Random(1)
    results = {}  # (set, place, tool) -> [seconds]
    peaks = {}    # (set, place, tool) -> max KiB
    for set_name, layout in SETS:
        for place, base in PLACES:
            shutil.rmtree(base, ignore_errors=True)
            for run in range(RUNS):
                order = TOOLS[run % len(TOOLS):] + TOOLS[:run % len(TOOLS)]
                for tool, command in order:
                    directory = os.path.join(base, f"run{run}-{rng.randrange(1 << 30)}")
                    make_set(directory, layout)
                    seconds, peak = timed(command, directory)
                    check_moved(directory, layout)
                    shutil.rmtree(directory)
                    key = (set_name, place, tool)
                    results.setdefault(key, []).append(seconds)
                    peaks[key] = max(peaks.get(key, 0), peak)
                    print(f"{set_name} | {place} | {tool}: {seconds:.3f} s", flush=True)
            shutil.rmtree(base, ignore_errors=True)
    write_report({k: statistics.median(v) for k, v in results.items()}, peaks)


def write_report(median, peaks):
    lines = ["# Benchmark: moving the files with veldra-install and with the usual tools", "",
             f"Produced by `make bench` (`python3 bench/run.py`), {RUNS} runs of each tool on "
             "each set, alternating, fresh files for every run (created and synced untimed). "
             "Medians of the wall time.", "", f"Machine: {machine()}.", ""]
    for set_name, _ in SETS:
        lines += [f"## {set_name}", "",
                  "| tool | tmpfs (s) | × cp -p + rm | disk (s) | × rsync --fsync | peak memory |",
                  "|---|---:|---:|---:|---:|---:|"]
        for tool, _ in TOOLS:
            t, d = median[(set_name, "tmpfs", tool)], median[(set_name, "disk", tool)]
            cp = median[(set_name, "tmpfs", "cp -p + rm")]
            rs = median[(set_name, "disk", "rsync --fsync")]
            peak = max(peaks[(set_name, p, tool)] for p, _ in PLACES)
            lines.append(f"| {tool} | {t:.3f} | {t / cp:.2f} | {d:.3f} | {d / rs:.2f} | "
                         f"{peak / 1024:.1f} MiB |")
        lines.append("")
    first, large = SETS[0][0], SETS[2][0]
    tmpfs_ratio = median[(first, "tmpfs", "veldra-install")] / median[(first, "tmpfs", "cp -p + rm")]
    disk_ratio = median[(first, "disk", "veldra-install")] / median[(first, "disk", "rsync --fsync")]
    scale = {p: median[(large, p, "veldra-install")] / median[(first, p, "veldra-install")]
             for p, _ in PLACES}
    peak = max(v for k, v in peaks.items() if k[2] == "veldra-install") / 1024
    def verdict(ok):
        return "met" if ok else "missed"
    lines += ["## Targets", "",
              f"- On tmpfs, first set: veldra-install takes {tmpfs_ratio:.2f}× the time of "
              f"`cp -p` + `rm` (target ≤ 0.5): {verdict(tmpfs_ratio <= 0.5)}.",
              f"- On disk, first set, fully durable: {disk_ratio:.2f}× the time of "
              f"`rsync --fsync` (target ≤ 0.7): {verdict(disk_ratio <= 0.7)}.",
              f"- 100,000 files against the first set (11,000 files): {scale['tmpfs']:.1f}× on "
              f"tmpfs, {scale['disk']:.1f}× on disk (target ≤ 12): "
              f"{verdict(max(scale.values()) <= 12)}.",
              f"- Peak memory of veldra-install: {peak:.1f} MiB (target ≤ 4): {verdict(peak <= 4)}."]
    if os.path.exists(WINDOWS_EXE):
        lines.append(f"- Size of the Windows program: {os.path.getsize(WINDOWS_EXE):,} bytes.")
    lines.append("")
    with open(os.path.join(ROOT, "bench/results.md"), "w") as f:
        f.write("\n".join(lines))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
