"""cpack builds the Debian package from the build folder; it holds exactly the
expected files and lintian finds no error in it (its warnings are shown).
Unpacked in a scratch folder (no system install), with only the system's
folders and the unpacked one on PATH, its vantle_listen records through its own
helper from the private audio server (PULSE_SERVER), and the README's Python
program prints the level line (a regular expression) with the unpacked helper.

    debian_package_test.py BUILD_DIR VERSION PROJECT_ROOT LEVEL_LINE_REGEX
"""

import glob
import os
import re
import subprocess
import sys
import tempfile
import time

FILES = ["usr/bin/vantle_audio_helper", "usr/bin/vantle_listen",
         "usr/share/doc/vantle-audio-helper/changelog.Debian.gz",
         "usr/share/doc/vantle-audio-helper/copyright",
         "usr/share/man/man1/vantle_audio_helper.1.gz", "usr/share/man/man1/vantle_listen.1.gz"]


def children_programs(pid):
    children = subprocess.run(["pgrep", "-P", str(pid)], text=True, stdout=subprocess.PIPE)
    return [os.path.realpath("/proc/%s/exe" % child) for child in children.stdout.split()]


build, version, source, level_line = sys.argv[1:]
with tempfile.TemporaryDirectory() as scratch:
    subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"),
                    "-B", scratch], check=True, stdout=subprocess.DEVNULL)
    [package] = glob.glob(os.path.join(scratch, "*.deb"))
    fields = subprocess.run(["dpkg-deb", "--field", package, "Version", "Depends"], check=True,
                            text=True, stdout=subprocess.PIPE).stdout
    assert fields.startswith("Version: %s\n" % version), fields
    assert "libpulse0 (>= " in fields, fields  # computed from the binaries
    listing = subprocess.run(["dpkg-deb", "-c", package], check=True, text=True,
                             stdout=subprocess.PIPE).stdout
    files = sorted(line.split()[5][2:] for line in listing.splitlines() if line[0] != "d")
    assert files == FILES, listing

    root = scratch + "/root"
    env = dict(os.environ, PATH=root + "/usr/bin:/usr/bin:/bin")
    subprocess.run(["dpkg-deb", "-x", package, root], check=True)
    listen = subprocess.Popen([root + "/usr/bin/vantle_listen", "--wav", scratch + "/out.wav", "0.5",
                               "--pcm16"], env=env)
    helpers = []  # once the forked vantle_listen has become the helper
    while listen.poll() is None and not helpers:
        helpers = [exe for exe in children_programs(listen.pid) if not exe.endswith("_listen")]
        time.sleep(0.01)
    assert listen.wait(timeout=30) == 0  # the whole recording written
    assert helpers == [root + "/usr/bin/vantle_audio_helper"], helpers
    shown = subprocess.run([sys.executable, source + "/clients/python/examples/capture.py"],
                           env=env, text=True, stdout=subprocess.PIPE, timeout=60).stdout
    print(shown, end="")
    assert re.fullmatch(level_line + "\n", shown), "not the level line: " + level_line
    lintian = subprocess.run(["lintian", package], text=True, stdout=subprocess.PIPE)
    print("lintian:\n" + lintian.stdout, end="")
    assert lintian.returncode == 0 and "\nE: " not in "\n" + lintian.stdout, "lintian errors"
