"""The README's Node and Python programs, run as a user runs them: the helper
on PATH, a tone playing on a private audio server."""

import os
import re
import shutil
import subprocess
import sys
import unittest

from private_server import PrivateServer

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
HELPER_DIR = os.path.dirname(os.environ["VANTLE_AUDIO_HELPER"])


class ReadmePrograms(unittest.TestCase):
    def run_program(self, relative_path, command):
        program = os.path.join(ROOT, relative_path)
        with open(program) as source, open(os.path.join(ROOT, "README.md")) as readme:
            self.assertIn(source.read(), readme.read())
        with PrivateServer() as server:
            server.play_tone(6)
            env = dict(server.env, PATH=HELPER_DIR + os.pathsep + server.env["PATH"],
                       PYTHONPATH=os.path.join(ROOT, "clients", "python"))
            done = subprocess.run(command + [program], env=env, text=True, timeout=30,
                                  stdout=subprocess.PIPE)
        self.assertEqual(done.returncode, 0)
        # A 0.25 sine is -15.05 dBFS RMS.
        self.assertRegex(done.stdout, re.compile(r"^2(\.\d+)? s, RMS -15\.[01] dBFS\n$"))

    def test_node_program(self):
        self.run_program("clients/node/examples/capture.mjs", [shutil.which("node")])

    def test_python_program(self):
        self.run_program("clients/python/examples/capture.py", [sys.executable])


if __name__ == "__main__":
    unittest.main()
