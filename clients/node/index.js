'use strict';
// Starts vantle_audio_helper and turns its line protocol into Float32Array
// chunks (mono, 16000 Hz). Standard library only.

const { spawn } = require('node:child_process');
const { EventEmitter } = require('node:events');
const { StringDecoder } = require('node:string_decoder');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const SAMPLE_RATE = 16000;
const HELPER_NAME = 'vantle_audio_helper';
// How much of an offending line an error quotes.
const QUOTED_LENGTH = 60;
// Diagnostic lines kept for the error of a failed start.
const KEPT_DIAGNOSTICS = 50;
const STOP_GRACE_MS = 2000;
const BASE64 = /^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$/;
const LITTLE_ENDIAN = os.endianness() === 'LE';

class HelperError extends Error {
  constructor(message, exitStatus, signal, diagnostics) {
    super(message);
    this.name = 'HelperError';
    this.exitStatus = exitStatus;
    this.signal = signal;
    this.diagnostics = diagnostics;
  }
}

class ProtocolError extends Error {
  constructor(reason, line) {
    const quoted = line.length > QUOTED_LENGTH ? line.slice(0, QUOTED_LENGTH) + '...' : line;
    super(`${reason}: ${JSON.stringify(quoted)}`);
    this.name = 'ProtocolError';
    this.reason = reason;
    this.line = quoted;
  }
}

function isExecutable(file) {
  try {
    fs.accessSync(file, fs.constants.X_OK);
    return fs.statSync(file).isFile();
  } catch {
    return false;
  }
}

// The helper beside this package, else the first one on PATH.
function findHelper(searchPath = process.env.PATH || '') {
  const candidates = [path.join(__dirname, HELPER_NAME), path.join(__dirname, 'bin', HELPER_NAME)];
  for (const dir of searchPath.split(path.delimiter)) {
    if (dir) candidates.push(path.join(dir, HELPER_NAME));
  }
  return candidates.find(isExecutable) ?? null;
}

// The samples of a PCM payload, or a ProtocolError.
function decodePcm(payload, line) {
  if (payload.length === 0 || !BASE64.test(payload)) {
    return new ProtocolError('invalid Base64 in PCM line', line);
  }
  const bytes = Buffer.from(payload, 'base64');
  if (bytes.length % 4 !== 0) {
    return new ProtocolError(`PCM payload of ${bytes.length} bytes is not whole samples`, line);
  }
  const samples = new Float32Array(bytes.length / 4);
  if (LITTLE_ENDIAN) {
    new Uint8Array(samples.buffer).set(bytes);
  } else {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
    for (let i = 0; i < samples.length; ++i) samples[i] = view.getFloat32(4 * i, true);
  }
  return samples;
}

// Splits a byte stream into lines; a line may arrive over several reads.
function lineSplitter(stream, onLine, onEnd) {
  const decoder = new StringDecoder('utf8');
  let partial = '';
  stream.on('data', (bytes) => {
    const lines = (partial + decoder.write(bytes)).split('\n');
    partial = lines.pop();
    for (const line of lines) onLine(line);
  });
  stream.on('end', () => {
    const rest = partial + decoder.end();
    partial = '';
    onEnd(rest);
  });
}

class AudioHelper extends EventEmitter {
  constructor(options = {}) {
    super();
    const helperPath = options.helperPath ?? findHelper();
    if (!helperPath) {
      throw new Error(`${HELPER_NAME} not found: pass helperPath, or put it beside this package ` +
                      'or on PATH');
    }
    this.helperPath = helperPath;
    this.backend = options.backend ?? 'coreaudio';
    this.statuses = [];
    this.diagnostics = [];
    this.exitStatus = null;
    this.signal = null;
    this._isReady = false;
    this._lines = 0;
    this._errorText = null;
    this._spawnError = null;
    this._stopping = false;
    this._queue = [];
    this._waiters = [];
    this._iterating = false;
    this._finished = false;
    this._failure = null;
    this.ready = new Promise((resolve, reject) => {
      this._resolveReady = resolve;
      this._rejectReady = reject;
    });
    // A failed start also reaches the iterator and 'exit': an application
    // that only iterates must not die of an unhandled rejection.
    this.ready.catch(() => {});
    this.exited = new Promise((resolve) => {
      this._resolveExited = resolve;
    });

    this._child = spawn(helperPath, [`--backend=${this.backend}`], {
      env: options.env ?? process.env,
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    this.pid = this._child.pid;
    // A helper that cannot start still 'close's; ready rejects then.
    this._child.on('error', (error) => {
      this._spawnError = new HelperError(`cannot start ${helperPath}: ${error.message}`, null, null,
                                         []);
    });
    lineSplitter(this._child.stdout, (line) => this._line(line), (rest) => {
      // A helper ended by stop() may have been cut off in mid-line.
      if (rest && !this._stopping) {
        this._emitError(new ProtocolError('line without a line feed', rest));
      }
    });
    lineSplitter(this._child.stderr, (line) => this._diagnostic(line), (rest) => {
      if (rest) this._diagnostic(rest);
    });
    this._child.on('close', (code, signal) => this._closed(code, signal));
  }

  _line(line) {
    const first = this._lines++ === 0;
    if (line === 'READY') {
      if (!first) return this._emitError(new ProtocolError('READY out of place', line));
      this._isReady = true;
      this._resolveReady();
      return undefined;
    }
    if (line.startsWith('ERROR ') && first) {
      this._errorText = line.slice(6);
      return undefined;
    }
    if (!this._isReady) return this._emitError(new ProtocolError('line before READY', line));
    if (line.startsWith('PCM ')) {
      const samples = decodePcm(line.slice(4), line);
      if (samples instanceof ProtocolError) return this._emitError(samples);
      this.emit('chunk', samples);
      if (this._iterating || this.listenerCount('chunk') === 0) this._push({ value: samples });
      return undefined;
    }
    if (line.startsWith('STATUS ')) {
      const text = line.slice(7);
      this.statuses.push(text);
      this.emit('status', text);
      return undefined;
    }
    return this._emitError(new ProtocolError('unexpected line from the helper', line));
  }

  _diagnostic(line) {
    this.diagnostics.push(line);
    if (this.diagnostics.length > KEPT_DIAGNOSTICS) this.diagnostics.shift();
    this.emit('diagnostic', line);
  }

  _emitError(error) {
    // A bad line costs audio: it must be seen, by a listener or the iterator.
    if (this.listenerCount('error') > 0 || !this._iterating) this.emit('error', error);
    if (this._iterating) this._push({ error });
  }

  _closed(code, signal) {
    this.exitStatus = code;
    this.signal = signal;
    const diagnostics = this.diagnostics.slice();
    if (!this._isReady) {
      const ended = code !== null ? `exit status ${code}` : `signal ${signal}`;
      const failure = this._spawnError ??
                      new HelperError(this._errorText ?? `helper ended before READY (${ended})`,
                                      code, signal, diagnostics);
      this._failure = failure;
      this._rejectReady(failure);
    } else if (!this._stopping && code !== 0) {
      const ended = code !== null ? `exit status ${code}` : `signal ${signal}`;
      this._failure = new HelperError(`helper ended unexpectedly (${ended})`, code, signal,
                                      diagnostics);
    }
    this._finished = true;
    this._push(this._failure ? { error: this._failure } : { done: true });
    this.emit('exit', code, signal);
    this._resolveExited({ exitStatus: code, signal });
  }

  _push(item) {
    const waiter = this._waiters.shift();
    if (waiter) waiter(item);
    else this._queue.push(item);
  }

  // Ends the helper (SIGTERM, SIGKILL after a grace time) and resolves once it
  // has exited and its output has been read.
  stop() {
    if (!this._finished && !this._stopping) {
      this._stopping = true;
      this._child.kill('SIGTERM');
      const kill = setTimeout(() => this._child.kill('SIGKILL'), STOP_GRACE_MS);
      this.exited.then(() => clearTimeout(kill));
    }
    return this.exited;
  }

  // Chunks in order; leaving the loop early stops the helper. A bad line or
  // a failed start ends the loop with its error.
  [Symbol.asyncIterator]() {
    this._iterating = true;
    const next = () => {
      const item = this._queue.shift();
      const taken = item ? Promise.resolve(item)
                         : new Promise((resolve) => this._waiters.push(resolve));
      return taken.then((got) => {
        if (got.error) {
          this._queue.unshift(got.error === this._failure ? got : { done: true });
          return this.stop().then(() => Promise.reject(got.error));
        }
        if (got.done) {
          this._queue.unshift(got);
          return { value: undefined, done: true };
        }
        return { value: got.value, done: false };
      });
    };
    return {
      next,
      return: () => this.stop().then(() => ({ value: undefined, done: true })),
      [Symbol.asyncIterator]() {
        return this;
      },
    };
  }
}

function startHelper(options) {
  return new AudioHelper(options);
}

exports.SAMPLE_RATE = SAMPLE_RATE;
exports.AudioHelper = AudioHelper;
exports.HelperError = HelperError;
exports.ProtocolError = ProtocolError;
exports.startHelper = startHelper;
exports.findHelper = findHelper;
exports.decodePcm = decodePcm;
