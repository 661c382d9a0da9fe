"""cpack builds the Debian package from the build folder (argv[1]); unpacked in a
scratch folder (no system install), its vantle_listen records through its own
helper from the private audio server (PULSE_SERVER)."""

import glob
import os
import subprocess
import sys
import tempfile
import wave

build, version = sys.argv[1:3]
with tempfile.TemporaryDirectory() as scratch:
    subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"),
                    "-B", scratch], check=True, stdout=subprocess.DEVNULL)
    [package] = glob.glob(os.path.join(scratch, "*.deb"))
    fields = subprocess.run(["dpkg-deb", "--field", package, "Version", "Depends"], check=True,
                            text=True, stdout=subprocess.PIPE).stdout
    assert fields.startswith("Version: %s\n" % version), fields
    assert "libpulse0 (>= " in fields, fields  # computed from the binaries
    subprocess.run(["dpkg-deb", "-x", package, scratch + "/root"], check=True)
    recording = scratch + "/out.wav"
    subprocess.run([scratch + "/root/usr/bin/vantle_listen", "--wav", recording, "0.5", "--pcm16"],
                   check=True, timeout=30)
    with wave.open(recording) as recorded:
        assert recorded.getnframes() == 8000, recorded.getnframes()
