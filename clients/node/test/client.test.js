'use strict';
// The client against the real helper on a private audio server, and against a
// fake helper that breaks the protocol. CTest passes the paths.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startHelper, HelperError } = require('..');

const HELPER = process.env.VANTLE_AUDIO_HELPER;
const SERVER_SCRIPT = process.env.VANTLE_AUDIO_SERVER_SCRIPT;

function scratch(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vantle-node-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// A private server's environment; the server stops with the test.
function startServer(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vantle-node-server-'));
  const line = execFileSync(SERVER_SCRIPT, ['start', dir], { encoding: 'utf8' }).trim();
  t.after(() => execFileSync(SERVER_SCRIPT, ['stop', dir]));
  return { ...process.env, PULSE_SERVER: line.slice('PULSE_SERVER='.length) };
}

// A 440 Hz sine of amplitude 0.25, stereo at 48000 Hz, played into the sink.
function playTone(t, env, seconds) {
  const frames = seconds * 48000;
  const sound = new Float32Array(2 * frames);
  for (let n = 0; n < frames; ++n) {
    sound[2 * n] = sound[2 * n + 1] = 0.25 * Math.sin((2 * Math.PI * 440 * n) / 48000);
  }
  const player = spawn('pacat', ['--playback', '--raw', '--format=float32le', '--rate=48000',
                                 '--channels=2', '--device=vantle_null'], { env, stdio: ['pipe', 'ignore', 'inherit'] });
  player.stdin.end(Buffer.from(sound.buffer));
  t.after(() => player.kill());
}

const alive = (pid) => {
  try {
    process.kill(pid, 0);
    return true;
  } catch {
    return false;
  }
};
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

test('chunks decode to the tone played, in order; leaving the loop ends the helper', async (t) => {
  const env = startServer(t);
  playTone(t, env, 4);
  await sleep(300);  // a sink that is already playing delivers from the first moment
  const helper = startHelper({ helperPath: HELPER, env });
  await helper.ready;
  const samples = [];
  for await (const chunk of helper) {
    samples.push(...chunk);
    if (samples.length >= 16000) break;
  }
  assert.equal(alive(helper.pid), false);
  assert.equal(helper.signal, 'SIGTERM');
  assert.deepEqual(helper.statuses, ['receiving']);
  const tone = samples.slice(16);
  const peak = Math.max(...tone.map(Math.abs));
  assert.ok(Math.abs(peak - 0.25) < 0.002, `peak ${peak}`);
  // A sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1]; a lost or misplaced chunk breaks it.
  const twiceCos = 2 * Math.cos((2 * Math.PI * 440) / 16000);
  for (let n = 1; n + 1 < tone.length; ++n) {
    const miss = Math.abs(tone[n + 1] - (twiceCos * tone[n] - tone[n - 1]));
    assert.ok(miss < 1e-5, `sample ${n} misses the sine by ${miss}`);
  }
});

test('a failed start rejects with the ERROR text and exit status 1', async () => {
  const helper = startHelper({ helperPath: HELPER, backend: 'nonesuch' });
  await assert.rejects(helper.ready, (error) => {
    assert.ok(error instanceof HelperError);
    assert.equal(error.message, 'unknown computer-audio backend: nonesuch');
    assert.equal(error.exitStatus, 1);
    assert.ok(error.diagnostics.includes('helper: boot'), error.diagnostics.join('\n'));
    return true;
  });
  await assert.rejects(async () => {
    for await (const chunk of helper) assert.fail(`chunk ${chunk}`);
  }, /unknown computer-audio backend: nonesuch/);
});

test('bad lines are reported with their beginning; lines split across reads are joined',
     async (t) => {
  const fake = path.join(scratch(t), 'fake_helper');
  fs.writeFileSync(fake, `#!/bin/sh
printf 'REA'; sleep 0.1; printf 'DY\\nPCM AACA'; sleep 0.1; printf 'Pw==\\n'
printf 'BOGUS line\\nPCM AACA!Pw==\\nPCM AACAPwAA\\nSTATUS receiving\\nPCM AAAAAAAAgD8=\\n'
echo 'helper: fake' >&2
exec sleep 30
`, { mode: 0o755 });
  const helper = startHelper({ helperPath: fake });
  const chunks = [];
  const errors = [];
  helper.on('chunk', (chunk) => chunks.push(Array.from(chunk)));
  helper.on('error', (error) => errors.push(error.line));
  await helper.ready;
  for (let waited = 0; chunks.length < 2 || helper.diagnostics.length < 1; waited += 20) {
    assert.ok(waited < 5000, 'the fake helper\'s lines did not all arrive');
    await sleep(20);
  }
  assert.deepEqual(chunks, [[1], [0, 1]]);
  assert.deepEqual(errors, ['BOGUS line', 'PCM AACA!Pw==', 'PCM AACAPwAA']);
  assert.deepEqual(helper.statuses, ['receiving']);
  assert.deepEqual(helper.diagnostics, ['helper: fake']);
  const end = await helper.stop();
  assert.equal(end.signal, 'SIGTERM');
  assert.equal(alive(helper.pid), false);
});
