# Captures two seconds of computer audio and prints its length and level.
import math
from vantle_audio_helper import AudioHelper, SAMPLE_RATE

samples, energy = 0, 0.0
with AudioHelper() as helper:
    for chunk in helper:
        energy += sum(x * x for x in chunk)
        samples += len(chunk)
        if samples >= 2 * SAMPLE_RATE:
            break
level = 10 * math.log10(max(energy / samples, 1e-12))
print("%g s, RMS %.1f dBFS" % (samples / SAMPLE_RATE, level))
