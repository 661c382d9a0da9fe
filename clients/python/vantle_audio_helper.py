"""Computer audio (what the machine plays) through the vantle_audio_helper process.

    with AudioHelper() as helper:        # starts it and waits for READY
        for chunk in helper:             # array('f'): mono, 16000 Hz
            ...

Standard library only; ``numpy_chunks()`` gives NumPy arrays when NumPy is
installed. Both of the helper's pipes are read by threads of their own, so the
helper never waits for this process, however slowly it iterates.
"""

import base64
import binascii
import collections
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
from array import array

__all__ = ["AudioHelper", "HelperError", "ProtocolError", "SAMPLE_RATE", "decode_pcm",
           "find_helper"]

SAMPLE_RATE = 16000
HELPER_NAME = "vantle_audio_helper"
_QUOTED_LENGTH = 60
_KEPT_DIAGNOSTICS = 50
_STOP_GRACE = 2.0


class HelperError(Exception):
    """A failed start (the text is the helper's ERROR text) or an unexpected end."""

    def __init__(self, text, exit_status=None, diagnostics=()):
        super().__init__(text)
        self.exit_status = exit_status
        self.diagnostics = list(diagnostics)


class ProtocolError(Exception):
    """A line that breaks the protocol; its audio is lost."""

    def __init__(self, reason, line):
        self.reason = reason
        self.line = line[:_QUOTED_LENGTH] + ("..." if len(line) > _QUOTED_LENGTH else "")
        super().__init__("%s: %r" % (reason, self.line))


def _ended(status):
    """How the helper ended, from its return code (negative: the signal)."""
    if status >= 0:
        return "exit status %d" % status
    try:
        return "signal " + signal.Signals(-status).name
    except ValueError:
        return "signal %d" % -status


def find_helper():
    """The helper beside this module, else the first on PATH; None if neither."""
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), HELPER_NAME)
    if os.path.isfile(here) and os.access(here, os.X_OK):
        return here
    return shutil.which(HELPER_NAME)


def decode_pcm(payload, line=None):
    """The samples of a PCM payload as array('f'); ProtocolError if it is not
    strict Base64 of whole little-endian float samples."""
    line = "PCM " + payload if line is None else line
    try:
        raw = base64.b64decode(payload, validate=True)
    except (binascii.Error, ValueError):
        raise ProtocolError("invalid Base64 in PCM line", line) from None
    if not raw or len(raw) % 4:
        raise ProtocolError("PCM payload of %d bytes is not whole samples" % len(raw), line)
    samples = array("f", raw)
    if sys.byteorder == "big":
        samples.byteswap()
    return samples


class AudioHelper:
    """The helper as a context manager and an iterator of chunks.

    on_status(text) runs in the iterating thread; on_diagnostic(line) runs in
    the thread that reads standard error.
    """

    def __init__(self, backend="coreaudio", helper_path=None, env=None, ready_timeout=30.0,
                 on_status=None, on_diagnostic=None):
        self.helper_path = helper_path or find_helper()
        if not self.helper_path:
            raise HelperError("%s not found: pass helper_path, or put it beside this module or "
                              "on PATH" % HELPER_NAME)
        self.backend = backend
        self.env = env
        self.ready_timeout = ready_timeout
        self.on_status = on_status
        self.on_diagnostic = on_diagnostic
        self.statuses = []
        self.diagnostics = collections.deque(maxlen=_KEPT_DIAGNOSTICS)
        self.process = None
        self._events = queue.Queue()
        self._stopping = False
        self._finished = False
        self._readers = []

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        """Starts the helper and waits for READY; HelperError if it fails."""
        try:
            self.process = subprocess.Popen(
                [self.helper_path, "--backend=" + self.backend], stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.env)
        except OSError as error:
            raise HelperError("cannot start %s: %s" % (self.helper_path, error)) from None
        # The diagnostics reader starts first: the output reader joins it as soon
        # as the helper ends, which a failed start does at once.
        self._readers = [threading.Thread(target=target, daemon=True)
                         for target in (self._read_diagnostics, self._read_output)]
        for reader in self._readers:
            reader.start()
        try:
            kind, value = self._events.get(timeout=self.ready_timeout)
        except queue.Empty:
            self.stop()
            raise HelperError("no READY within %g s" % self.ready_timeout,
                              self.process.returncode, self.diagnostics) from None
        if kind == "ready":
            return self
        self.stop()  # reads to the end and reaps the helper
        if kind == "error" and isinstance(value, HelperError):
            raise value
        text = ("helper ended before READY (%s)" % _ended(self.process.returncode)
                if kind == "end" else str(value))
        raise HelperError(text, self.process.returncode, self.diagnostics)

    def _read_output(self):
        first, ready, error_text = True, False, None
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace")
            if not line.endswith("\n"):
                if not self._stopping:  # stop() may cut the helper off in mid-line
                    self._events.put(("error", ProtocolError("line without a line feed", line)))
                break
            line = line[:-1]
            was_first, first = first, False
            if line == "READY" and was_first:
                ready = True
                self._events.put(("ready", None))
            elif line.startswith("ERROR ") and was_first:
                error_text = line[6:]
            elif not ready:
                self._events.put(("error", ProtocolError("line before READY", line)))
            elif line.startswith("PCM "):
                try:
                    self._events.put(("chunk", decode_pcm(line[4:], line)))
                except ProtocolError as error:
                    self._events.put(("error", error))
            elif line.startswith("STATUS "):
                self._events.put(("status", line[7:]))
            else:
                reason = "READY out of place" if line == "READY" else "unexpected line from the helper"
                self._events.put(("error", ProtocolError(reason, line)))
        status = self.process.wait()
        self._readers[0].join()  # the diagnostics of a failed start are complete
        if error_text is not None:
            self._events.put(("error", HelperError(error_text, status, self.diagnostics)))
        elif ready and not self._stopping and status != 0:
            self._events.put(("error", HelperError(
                "helper ended unexpectedly (%s)" % _ended(status), status, self.diagnostics)))
        self._events.put(("end", status))

    def _read_diagnostics(self):
        for raw in self.process.stderr:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            self.diagnostics.append(line)
            if self.on_diagnostic:
                self.on_diagnostic(line)

    def read(self, timeout=None):
        """The next chunk as array('f'); None once the helper has ended. Raises
        ProtocolError for a bad line (reading may go on), HelperError for an
        unexpected end, queue.Empty when timeout passes."""
        while not self._finished:
            kind, value = self._events.get(timeout=timeout)
            if kind == "chunk":
                return value
            if kind == "status":
                self.statuses.append(value)
                if self.on_status:
                    self.on_status(value)
            elif kind == "error":
                raise value
            elif kind == "end":
                self._finished = True
        return None

    def __iter__(self):
        while True:
            chunk = self.read()
            if chunk is None:
                return
            yield chunk

    def numpy_chunks(self):
        """Chunks as NumPy float32 arrays (needs NumPy)."""
        import numpy

        for chunk in self:
            yield numpy.frombuffer(chunk, dtype=numpy.float32)

    def stop(self):
        """Ends the helper (SIGTERM, SIGKILL after a grace time) and waits for it;
        returns its exit status (negative: the signal that ended it)."""
        if self.process is None:
            return None
        self._stopping = True
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(_STOP_GRACE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for reader in self._readers:
            if reader is not threading.current_thread():
                reader.join()
        self.process.stdout.close()
        self.process.stderr.close()
        return self.process.returncode
