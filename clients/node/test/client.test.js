'use strict';
// The client against the real helper on a private audio server that plays a
// 440 Hz sine (PULSE_SERVER), and against a fake helper that breaks the
// protocol. CTest passes the paths. The helper's first output samples are its
// low pass filling up; the README's program, run on the same tone, pins the level.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startHelper, HelperError } = require('..');

const HELPER = process.env.VANTLE_AUDIO_HELPER;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const ONSET = 32;

test('chunks decode to the tone played, in order; leaving the loop ends the helper', async () => {
  const helper = startHelper({ helperPath: HELPER });
  await helper.ready;
  const samples = [];
  for await (const chunk of helper) {
    samples.push(...chunk);
    if (samples.length >= 16000) break;
  }
  assert.equal(helper.signal, 'SIGTERM');  // set once it has exited
  const tone = samples.slice(ONSET);
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
     async () => {
  const helper = startHelper({ helperPath: process.env.VANTLE_FAKE_HELPER });
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
  assert.equal((await helper.stop()).signal, 'SIGTERM');
});

test('a helper that ends by itself after READY gives its chunk, then a HelperError', async () => {
  for (const [backend, exitStatus, signal] of [['exit', 2, null], ['signal', null, 'SIGKILL']]) {
    const helper = startHelper({ helperPath: process.env.VANTLE_ENDING_HELPER, backend });
    const chunks = [];
    await assert.rejects(async () => {
      for await (const chunk of helper) chunks.push(Array.from(chunk));
    }, { name: 'HelperError', exitStatus, signal });
    assert.deepEqual(chunks, [[1]], backend);
  }
});

test('an impossible helper path rejects ready with "cannot start"', async () => {
  const helper = startHelper({ helperPath: '/nonexistent/vantle_audio_helper' });
  await assert.rejects(helper.ready,
                       /^HelperError: cannot start \/nonexistent\/vantle_audio_helper: /);
});
