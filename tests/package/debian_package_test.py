"""cpack builds the Debian package from the build folder; unpacked into a scratch
folder (no system install), its vantle_listen records through its helper from
a private audio server."""

import glob
import os
import subprocess
import tempfile
import unittest
import wave

from private_server import PrivateServer

BUILD = os.environ["VANTLE_BUILD_DIR"]
VERSION = os.environ["VANTLE_VERSION"]


class DebianPackage(unittest.TestCase):
    def test_the_unpacked_package_records_computer_audio(self):
        with tempfile.TemporaryDirectory() as scratch:
            subprocess.run(["cpack", "-G", "DEB", "--config",
                            os.path.join(BUILD, "CPackConfig.cmake"), "-B", scratch],
                           check=True, stdout=subprocess.DEVNULL)
            [package] = glob.glob(os.path.join(scratch, "*.deb"))
            fields = subprocess.run(["dpkg-deb", "--field", package, "Version", "Depends"],
                                    check=True, text=True, stdout=subprocess.PIPE).stdout
            self.assertIn("Version: %s\n" % VERSION, fields)
            self.assertRegex(fields, r"Depends: .*libpulse0 \(>= [0-9.]+\)")
            root = os.path.join(scratch, "root")
            subprocess.run(["dpkg-deb", "-x", package, root], check=True)
            recording = os.path.join(scratch, "out.wav")
            with PrivateServer() as server:
                server.play_tone(4)
                subprocess.run([os.path.join(root, "usr/bin/vantle_listen"), "--wav", recording,
                                "0.5", "--pcm16"], env=server.env, check=True, timeout=30)
            with wave.open(recording) as recorded:
                self.assertEqual(recorded.getnframes(), 8000)


if __name__ == "__main__":
    unittest.main()
