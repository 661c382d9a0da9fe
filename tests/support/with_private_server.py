"""Runs a command against a private audio server (tools/private_audio_server.sh,
named by VANTLE_AUDIO_SERVER_SCRIPT) while a known tone plays into its sink;
PULSE_SERVER names the server. Exits with the command's status.

    with_private_server.py TONE_SECONDS COMMAND...

Python tests import the tone's description from here.
"""

import math
import os
import subprocess
import sys
import tempfile
import time
from array import array

TONE_FREQUENCY = 440.0
TONE_AMPLITUDE = 0.25
# The helper's first output samples are its low pass filling up (about 16 at 16000 Hz).
ONSET = 32


def peak_off_by_db(samples, full_scale=1.0):
    """How far the samples' peak is from the tone's, in dB."""
    return 20 * math.log10(max(map(abs, samples)) / (full_scale * TONE_AMPLITUDE))


def sine_misfit(samples, rate=16000):
    """How far samples stray from one unbroken sine of the tone's frequency
    (x[n+1] = 2 cos(w) x[n] - x[n-1]): a lost, repeated or misplaced chunk
    makes it about the amplitude. The level does not enter."""
    twice_cos = 2 * math.cos(2 * math.pi * TONE_FREQUENCY / rate)
    return max(abs(samples[n + 1] - (twice_cos * samples[n] - samples[n - 1]))
               for n in range(1, len(samples) - 1))


def main(seconds, command):
    script = os.environ["VANTLE_AUDIO_SERVER_SCRIPT"]
    directory = tempfile.mkdtemp(prefix="vantle-server-")
    line = subprocess.run([script, "start", directory], check=True, text=True,
                          stdout=subprocess.PIPE).stdout.strip()
    env = dict(os.environ, PULSE_SERVER=line[len("PULSE_SERVER="):])
    frames = int(seconds * 48000)
    sound = array("f", [0.0]) * (2 * frames)  # stereo, 48000 Hz
    for n in range(frames):
        sound[2 * n] = sound[2 * n + 1] = TONE_AMPLITUDE * math.sin(
            2 * math.pi * TONE_FREQUENCY * n / 48000)
    player = None
    try:
        with tempfile.TemporaryFile() as raw:
            sound.tofile(raw)
            raw.seek(0)
            player = subprocess.Popen(["pacat", "--playback", "--raw", "--format=float32le",
                                       "--rate=48000", "--channels=2", "--device=vantle_null"],
                                      stdin=raw, env=env)
        time.sleep(0.3)  # a sink that already plays delivers from a client's first moment
        return subprocess.run(command, env=env).returncode
    finally:
        if player:
            player.kill()
            player.wait()
        subprocess.run([script, "stop", directory], check=True)


if __name__ == "__main__":
    sys.exit(main(float(sys.argv[1]), sys.argv[2:]))
