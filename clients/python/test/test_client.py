"""The client against the real helper on a private audio server that plays a
known tone (PULSE_SERVER), and against a fake helper that breaks the protocol.
CTest passes the paths. The README's program, run on the same tone, pins the level."""

import os
import signal
import time
import unittest

from vantle_audio_helper import AudioHelper, HelperError, ProtocolError
from with_private_server import ONSET, sine_misfit

HELPER = os.environ["VANTLE_AUDIO_HELPER"]
ENDING_HELPER = os.environ["VANTLE_ENDING_HELPER"]


class ClientTest(unittest.TestCase):
    def test_chunks_decode_to_the_tone_played_in_order(self):
        samples, statuses = [], []
        with AudioHelper(helper_path=HELPER, on_status=statuses.append) as helper:
            for chunk in helper:
                self.assertEqual(chunk.typecode, "f")
                samples.extend(chunk)
                if len(samples) >= 16000:
                    break
        self.assertEqual(statuses, ["receiving"])
        self.assertLess(sine_misfit(samples[ONSET:]), 1e-5)

    def test_a_failed_start_raises_the_error_text_and_exit_status_1(self):
        with self.assertRaises(HelperError) as caught:
            with AudioHelper(backend="nonesuch", helper_path=HELPER):
                self.fail("started")
        self.assertEqual(str(caught.exception), "unknown computer-audio backend: nonesuch")
        self.assertEqual(caught.exception.exit_status, 1)
        self.assertIn("helper: boot", caught.exception.diagnostics)

    def test_bad_lines_are_reported_and_lines_split_across_reads_are_joined(self):
        chunks, errors = [], []
        with AudioHelper(helper_path=os.environ["VANTLE_FAKE_HELPER"]) as helper:
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
        self.assertEqual(helper.process.returncode, -signal.SIGTERM)

    def test_a_helper_that_ends_by_itself_raises_after_its_chunk(self):
        for backend, status, ended in (("exit", 2, "exit status 2"),
                                       ("signal", -signal.SIGKILL, "signal SIGKILL")):
            chunks = []
            with self.subTest(backend), self.assertRaises(HelperError) as caught:
                with AudioHelper(backend=backend, helper_path=ENDING_HELPER) as helper:
                    for chunk in helper:
                        chunks.append(list(chunk))
            self.assertEqual(chunks, [[1.0]])
            self.assertEqual(caught.exception.exit_status, status)
            self.assertEqual(str(caught.exception), "helper ended unexpectedly (%s)" % ended)

    def test_an_impossible_helper_path_cannot_start(self):
        with self.assertRaisesRegex(HelperError, "^cannot start /nonexistent/vantle_audio_helper: "):
            AudioHelper(helper_path="/nonexistent/vantle_audio_helper").start()


if __name__ == "__main__":
    unittest.main()
