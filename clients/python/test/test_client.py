"""The client against the real helper on a private audio server, and against a
fake helper that breaks the protocol. CTest passes the paths."""

import math
import os
import stat
import tempfile
import time
import unittest

from private_server import PrivateServer, TONE_AMPLITUDE, TONE_FREQUENCY
from vantle_audio_helper import AudioHelper, HelperError, ProtocolError

HELPER = os.environ["VANTLE_AUDIO_HELPER"]

FAKE_HELPER = r"""#!/bin/sh
printf 'REA'; sleep 0.1; printf 'DY\nPCM AACA'; sleep 0.1; printf 'Pw==\n'
printf 'BOGUS line\nPCM AACA!Pw==\nPCM AACAPwAA\nSTATUS receiving\nPCM AAAAAAAAgD8=\n'
echo 'helper: fake' >&2
exec sleep 30
"""


def gone(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    return False


class ClientTest(unittest.TestCase):
    def test_chunks_decode_to_the_tone_played_in_order_and_stop_ends_the_helper(self):
        with PrivateServer() as server:
            server.play_tone(4)
            samples, statuses = [], []
            with AudioHelper(helper_path=HELPER, env=server.env,
                             on_status=statuses.append) as helper:
                for chunk in helper:
                    self.assertEqual(chunk.typecode, "f")
                    samples.extend(chunk)
                    if len(samples) >= 16000:
                        break
            self.assertTrue(gone(helper.process.pid))
            self.assertEqual(statuses, ["receiving"])
        tone = samples[16:]
        self.assertAlmostEqual(max(map(abs, tone)), TONE_AMPLITUDE, delta=0.002)
        # A sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1]; a lost or misplaced chunk breaks it.
        twice_cos = 2 * math.cos(2 * math.pi * TONE_FREQUENCY / 16000)
        worst = max(abs(tone[n + 1] - (twice_cos * tone[n] - tone[n - 1]))
                    for n in range(1, len(tone) - 1))
        self.assertLess(worst, 1e-5)

    def test_a_failed_start_raises_the_error_text_and_exit_status_1(self):
        with self.assertRaises(HelperError) as caught:
            with AudioHelper(backend="nonesuch", helper_path=HELPER):
                self.fail("started")
        self.assertEqual(str(caught.exception), "unknown computer-audio backend: nonesuch")
        self.assertEqual(caught.exception.exit_status, 1)
        self.assertIn("helper: boot", caught.exception.diagnostics)

    def test_bad_lines_are_reported_and_lines_split_across_reads_are_joined(self):
        with tempfile.TemporaryDirectory() as scratch:
            fake = os.path.join(scratch, "fake_helper")
            with open(fake, "w") as script:
                script.write(FAKE_HELPER)
            os.chmod(fake, stat.S_IRWXU)
            chunks, errors = [], []
            with AudioHelper(helper_path=fake) as helper:
                while len(chunks) < 2:
                    try:
                        chunks.append(list(helper.read(timeout=5)))
                    except ProtocolError as error:
                        errors.append(error.line)
                deadline = time.monotonic() + 5
                while not helper.diagnostics and time.monotonic() < deadline:
                    time.sleep(0.02)
            self.assertEqual(chunks, [[1.0], [0.0, 1.0]])
            self.assertEqual(errors, ["BOGUS line", "PCM AACA!Pw==", "PCM AACAPwAA"])
            self.assertEqual(helper.statuses, ["receiving"])
            self.assertEqual(list(helper.diagnostics), ["helper: fake"])
            self.assertTrue(gone(helper.process.pid))


if __name__ == "__main__":
    unittest.main()
