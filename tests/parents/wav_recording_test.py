"""vantle_listen --wav against the real helper on a private audio server playing
a known tone (PULSE_SERVER): the file reads back with the right header, length
and content, also after SIGTERM; the status line shows on a terminal only."""

import os
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import wave

from with_private_server import ONSET, peak_off_by_db, sine_misfit

FLOAT_HEADER = (b"RIFF" + struct.pack("<I", 50 + 64000) + b"WAVEfmt " +
                struct.pack("<IHHIIHHH", 18, 3, 1, 16000, 64000, 4, 32, 0) +
                b"fact" + struct.pack("<II", 4, 16000) + b"data" + struct.pack("<I", 64000))


class WavRecording(unittest.TestCase):
    def start(self, *arguments, stderr):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.path = os.path.join(scratch.name, "out.wav")
        listen = subprocess.Popen([os.environ["VANTLE_LISTEN"], "--helper",
                                   os.environ["VANTLE_AUDIO_HELPER"], "--wav", self.path,
                                   *arguments], stderr=stderr, text=True)
        self.addCleanup(lambda: listen.poll() is None and (listen.kill(), listen.communicate()))
        return listen

    def test_float_file_of_the_asked_length_and_a_terminal_status_line(self):
        terminal, stderr = os.openpty()
        self.assertEqual(self.start("1", stderr=stderr).wait(timeout=30), 0)
        shown = os.read(terminal, 65536).decode()
        self.assertRegex(shown, r"\rrecording 00:0\d\.\d  level -1[45]\.\d dBFS  chunks \d+")
        with open(self.path, "rb") as recorded:
            content = recorded.read()
        self.assertEqual(content[:58], FLOAT_HEADER)
        samples = struct.unpack("<16000f", content[58:])  # nothing more, nothing less
        self.assertLess(abs(peak_off_by_db(samples[ONSET:])), 1)  # as the README promises
        self.assertLess(sine_misfit(samples[ONSET:]), 1e-5)

    def test_pcm16_file_finished_after_sigterm_and_quiet_off_a_terminal(self):
        listen = self.start("--pcm16", stderr=subprocess.PIPE)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and (not os.path.exists(self.path) or
                                               os.path.getsize(self.path) < 44 + 16000):
            time.sleep(0.05)
        listen.send_signal(signal.SIGTERM)
        errors = listen.communicate(timeout=30)[1]
        self.assertEqual(listen.returncode, 0, errors)
        self.assertNotIn("\r", errors)
        with wave.open(self.path) as recorded:
            self.assertEqual(recorded.getparams()[:3], (1, 2, 16000))
            frames = recorded.getnframes()
            self.assertEqual(os.path.getsize(self.path), 44 + 2 * frames)
            samples = struct.unpack("<%dh" % frames, recorded.readframes(frames))
        self.assertGreater(frames, 8000)
        self.assertLess(abs(peak_off_by_db(samples[ONSET:], full_scale=32767)), 1)
        self.assertLess(sine_misfit(samples[ONSET:]), 3)  # rounding to integers


if __name__ == "__main__":
    unittest.main()
