#!/usr/bin/env python3
"""Crash at any moment: the portable installer is killed with SIGKILL after a random delay in a
directory of about 2,000 files, some with an older version already installed. After every kill,
each file's exact content must be under its own name in the directory or in its subdirectory,
nothing in INCLUDE or LIB may be partial under a final name, files that do not match are
untouched, and a second, complete run must finish the installation.

The seed is printed; set VELDRA_CRASH_SEED to replay a failure. VELDRA_CRASH_ROUNDS sets the
number of rounds (30)."""
import hashlib
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

EXE = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build/native/veldra-install"


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def make_fixture(rng, d):
    """Writes the files; returns {name: (digest, subdirectory or None)} and the older versions."""
    os.mkdir(os.path.join(d, "INCLUDE"))
    files, older = {}, {}
    for i in range(2000):
        kind = rng.random()
        name, sub = ((f"h{i}.h", "INCLUDE") if kind < 0.45 else
                     (f"l{i}.lib", "LIB") if kind < 0.85 else
                     (f"o{i}.{rng.choice(['txt', 'hpp', 'lib.bak'])}", None))
        size = rng.choice([0, 1, 100, 1024, 4096, 65536, 300000]) + rng.randrange(100)
        content = rng.randbytes(size)
        with open(os.path.join(d, name), "wb") as f:
            f.write(content)
        files[name] = (hashlib.sha1(content).hexdigest(), sub)
        if sub == "INCLUDE" and rng.random() < 0.1:
            old = rng.randbytes(rng.randrange(5000))
            with open(os.path.join(d, sub, name), "wb") as f:
                f.write(old)
            older[name] = hashlib.sha1(old).hexdigest()
    return files, older


def check(d, files, older, complete):
    """Returns the problems found; counts temporary files separately."""
    problems = []
    for name, (want, sub) in files.items():
        here = os.path.join(d, name)
        there = os.path.join(d, sub, name) if sub else None
        if sub is None:
            if not os.path.exists(here) or digest(here) != want:
                problems.append(f"{name} does not match and was touched")
            continue
        in_base = os.path.exists(here) and digest(here) == want
        installed = there is not None and os.path.exists(there) and digest(there)
        if not in_base and installed != want:
            problems.append(f"{name} is lost")
        if installed and installed not in (want, older.get(name)):
            problems.append(f"{sub}/{name} is partial or foreign")
        if complete and (os.path.exists(here) or installed != want):
            problems.append(f"{name} was not installed by the complete run")
    temps = []
    for sub in ("INCLUDE", "LIB"):
        if os.path.isdir(os.path.join(d, sub)):
            temps += [n for n in os.listdir(os.path.join(d, sub)) if n.startswith(".veldra-")]
    return problems, temps


def main():
    seed = int(os.environ.get("VELDRA_CRASH_SEED", random.randrange(1 << 32)))
    rounds = int(os.environ.get("VELDRA_CRASH_ROUNDS", 30))
    print(f"seed {seed} (replay with VELDRA_CRASH_SEED={seed}), {rounds} rounds")
    rng = random.Random(seed)
    failures = 0
    killed_while_running = temps_left = 0
    with tempfile.TemporaryDirectory(prefix="veldra-crash-") as root:
        # How long a whole run takes here, to spread the kills over it.
        d = os.path.join(root, "timing")
        os.mkdir(d)
        make_fixture(random.Random(seed), d)
        start = time.monotonic()
        subprocess.run([EXE], cwd=d, capture_output=True, check=False)
        duration = time.monotonic() - start
        print(f"an uninterrupted run takes {duration * 1000:.0f} ms")
        for round_number in range(rounds):
            d = os.path.join(root, f"round{round_number}")
            os.mkdir(d)
            files, older = make_fixture(rng, d)
            delay = rng.uniform(0, duration * 1.1)
            process = subprocess.Popen([EXE], cwd=d, stdout=subprocess.DEVNULL)
            time.sleep(delay)
            running = process.poll() is None
            process.send_signal(signal.SIGKILL)
            process.wait()
            killed_while_running += running
            problems, temps = check(d, files, older, complete=False)
            temps_left += len(temps)
            again = subprocess.run([EXE], cwd=d, capture_output=True, text=True)
            if again.returncode != 0 or "successfully installed" not in again.stdout:
                problems.append(f"the complete run said {again.stdout!r} ({again.returncode})")
            problems += check(d, files, older, complete=True)[0]
            for problem in problems[:10]:
                print(f"round {round_number} (killed after {delay * 1000:.0f} ms): {problem}")
            failures += bool(problems)
            subprocess.run(["rm", "-rf", d], check=True)
    print(f"{killed_while_running} of {rounds} kills hit a running installer; "
          f"temporary files left behind: {temps_left}")
    print(f"{rounds - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
