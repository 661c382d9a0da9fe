"""vantle_listen --wav against the real helper on a private audio server playing
a known tone: the file reads back with the right header, length and content,
also after SIGTERM; the status line shows on a terminal only."""

import math
import os
import pty
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import wave

from private_server import PrivateServer, TONE_AMPLITUDE, TONE_FREQUENCY

LISTEN = os.environ["VANTLE_LISTEN"]
HELPER = os.environ["VANTLE_AUDIO_HELPER"]


def float_wav_header(frames):
    data = 4 * frames
    return (b"RIFF" + struct.pack("<I", 50 + data) + b"WAVEfmt " +
            struct.pack("<IHHIIHHH", 18, 3, 1, 16000, 64000, 4, 32, 0) +
            b"fact" + struct.pack("<II", 4, frames) + b"data" + struct.pack("<I", data))


class WavRecording(unittest.TestCase):
    def setUp(self):
        self.server = PrivateServer().__enter__()
        self.addCleanup(self.server.__exit__)
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.path = os.path.join(scratch.name, "out.wav")
        self.server.play_tone(8)

    def start(self, *arguments, stderr=subprocess.PIPE):
        listen = subprocess.Popen([LISTEN, "--helper", HELPER, "--wav", self.path, *arguments],
                                  env=self.server.env, stderr=stderr, text=True)
        self.addCleanup(lambda: listen.poll() is None and (listen.kill(), listen.communicate()))
        return listen

    def assert_tone(self, samples, amplitude, places):
        tone = samples[16:]
        self.assertAlmostEqual(max(map(abs, tone)), amplitude, delta=amplitude * 0.01)
        # A sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1]; a lost or misplaced chunk breaks it.
        twice_cos = 2 * math.cos(2 * math.pi * TONE_FREQUENCY / 16000)
        worst = max(abs(tone[n + 1] - (twice_cos * tone[n] - tone[n - 1]))
                    for n in range(1, len(tone) - 1))
        self.assertLess(worst, amplitude * 10 ** -places)

    def test_float_file_of_the_length_asked_with_a_status_line_on_a_terminal(self):
        master, slave = pty.openpty()
        listen = self.start("1", stderr=slave)
        os.close(slave)
        shown = b""
        while True:
            try:
                got = os.read(master, 4096)
            except OSError:  # the terminal's other end has closed
                break
            if not got:
                break
            shown += got
        os.close(master)
        self.assertEqual(listen.wait(timeout=30), 0)
        self.assertRegex(shown.decode(), r"\rrecording 00:0\d\.\d  level -1[45]\.\d dBFS  chunks \d+")
        with open(self.path, "rb") as recorded:
            content = recorded.read()
        self.assertEqual(content[:58], float_wav_header(16000))
        self.assertEqual(len(content), 58 + 4 * 16000)
        self.assert_tone(struct.unpack("<16000f", content[58:]), TONE_AMPLITUDE, 5)

    def test_pcm16_file_finished_after_sigterm_and_no_status_line_off_a_terminal(self):
        listen = self.start("--pcm16")
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and (not os.path.exists(self.path) or
                                               os.path.getsize(self.path) < 44 + 16000):
            time.sleep(0.05)
        listen.send_signal(signal.SIGTERM)
        _, errors = listen.communicate(timeout=30)
        self.assertEqual(listen.returncode, 0, errors)
        self.assertNotIn("\r", errors)
        with wave.open(self.path) as recorded:
            self.assertEqual((recorded.getframerate(), recorded.getnchannels(),
                              recorded.getsampwidth()), (16000, 1, 2))
            frames = recorded.getnframes()
            self.assertGreater(frames, 8000)
            self.assertEqual(os.path.getsize(self.path), 44 + 2 * frames)
            samples = struct.unpack("<%dh" % frames, recorded.readframes(frames))
        self.assert_tone(samples, TONE_AMPLITUDE * 32767, 3)


if __name__ == "__main__":
    unittest.main()
