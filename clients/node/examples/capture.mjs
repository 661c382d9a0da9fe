// Captures two seconds of computer audio and prints its length and level.
import { startHelper, SAMPLE_RATE } from 'vantle-audio-helper';

const helper = startHelper();
await helper.ready;
let samples = 0, energy = 0;
for await (const chunk of helper) {
  for (const x of chunk) energy += x * x;
  if ((samples += chunk.length) >= 2 * SAMPLE_RATE) break;
}
console.log(`${samples / SAMPLE_RATE} s, RMS ${(10 * Math.log10(energy / samples)).toFixed(1)} dBFS`);
