"""A private audio server for Python tests, through tools/private_audio_server.sh
(named by VANTLE_AUDIO_SERVER_SCRIPT), and a known tone to play into it."""

import math
import os
import subprocess
import tempfile
import time
from array import array

TONE_FREQUENCY = 440.0
TONE_AMPLITUDE = 0.25


class PrivateServer:
    def __enter__(self):
        self.directory = tempfile.mkdtemp(prefix="vantle-py-server-")
        script = os.environ["VANTLE_AUDIO_SERVER_SCRIPT"]
        self._stop = [script, "stop", self.directory]
        line = subprocess.run([script, "start", self.directory], check=True, text=True,
                              stdout=subprocess.PIPE).stdout.strip()
        self.env = dict(os.environ, PULSE_SERVER=line[len("PULSE_SERVER="):])
        self._players = []
        return self

    def __exit__(self, *exc):
        for player in self._players:
            player.kill()
            player.wait()
        subprocess.run(self._stop, check=True)

    def play_tone(self, seconds):
        """Starts playing a 440 Hz sine of amplitude 0.25 (48000 Hz stereo) and
        returns once the sink plays it: a helper started then hears it at once."""
        frames = int(seconds * 48000)
        sound = array("f", [0.0]) * (2 * frames)
        for n in range(frames):
            sound[2 * n] = sound[2 * n + 1] = TONE_AMPLITUDE * math.sin(
                2 * math.pi * TONE_FREQUENCY * n / 48000)
        with tempfile.TemporaryFile() as raw:
            sound.tofile(raw)
            raw.seek(0)
            self._players.append(subprocess.Popen(
                ["pacat", "--playback", "--raw", "--format=float32le", "--rate=48000",
                 "--channels=2", "--device=vantle_null"], stdin=raw, env=self.env))
        time.sleep(0.3)
