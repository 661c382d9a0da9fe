import { EventEmitter } from 'node:events';

/** The helper's output rate: every chunk is mono at this rate. */
export const SAMPLE_RATE: 16000;

export interface StartOptions {
  /** The helper executable; by default the one beside this package, else on PATH. */
  helperPath?: string;
  /** Capture backend, passed as --backend=NAME; default 'coreaudio'. */
  backend?: 'coreaudio' | 'sck' | (string & {});
  /** The helper's environment; default process.env. */
  env?: NodeJS.ProcessEnv;
}

export interface HelperExit {
  exitStatus: number | null;
  signal: NodeJS.Signals | null;
}

/** A failed start (message: the helper's ERROR text) or an unexpected end. */
export class HelperError extends Error {
  readonly exitStatus: number | null;
  readonly signal: NodeJS.Signals | null;
  /** The helper's last standard error lines before it ended. */
  readonly diagnostics: string[];
}

/** A line on standard output that breaks the protocol; its chunk is lost. */
export class ProtocolError extends Error {
  readonly reason: string;
  /** The beginning of the offending line. */
  readonly line: string;
}

export interface AudioHelperEvents {
  chunk: [samples: Float32Array];
  status: [text: string];
  diagnostic: [line: string];
  error: [error: ProtocolError];
  exit: [exitStatus: number | null, signal: NodeJS.Signals | null];
}

export class AudioHelper extends EventEmitter implements AsyncIterable<Float32Array> {
  constructor(options?: StartOptions);
  readonly helperPath: string;
  readonly backend: string;
  readonly pid: number | undefined;
  /** Resolves on READY; rejects with a HelperError when the start fails. */
  readonly ready: Promise<void>;
  /** Resolves once the helper has exited and its output has been read. */
  readonly exited: Promise<HelperExit>;
  /** STATUS texts so far ("receiving", "failed: ..."). */
  readonly statuses: string[];
  /** The last standard error lines. */
  readonly diagnostics: string[];
  exitStatus: number | null;
  signal: NodeJS.Signals | null;
  /** Ends the helper; resolves once it has exited. */
  stop(): Promise<HelperExit>;
  /** Chunks in order; break stops the helper; a bad line ends the loop with its error. */
  [Symbol.asyncIterator](): AsyncIterableIterator<Float32Array>;

  on<K extends keyof AudioHelperEvents>(event: K,
                                        listener: (...args: AudioHelperEvents[K]) => void): this;
  once<K extends keyof AudioHelperEvents>(event: K,
                                          listener: (...args: AudioHelperEvents[K]) => void): this;
  off<K extends keyof AudioHelperEvents>(event: K,
                                         listener: (...args: AudioHelperEvents[K]) => void): this;
}

export function startHelper(options?: StartOptions): AudioHelper;
/** The helper beside this package, else the first on the search path; null if none. */
export function findHelper(searchPath?: string): string | null;
/** The samples of a "PCM " payload, or the ProtocolError that describes it. */
export function decodePcm(payload: string, line: string): Float32Array | ProtocolError;
