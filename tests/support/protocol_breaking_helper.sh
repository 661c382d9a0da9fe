#!/bin/sh
# A helper that breaks the line protocol, for the clients' tests: READY and a
# PCM line arrive split across reads, then three bad lines between good ones.
# Expected: chunks [1.0] and [0.0, 1.0]; the status "receiving"; errors for
# "BOGUS line", "PCM AACA!Pw==" (not Base64) and "PCM AACAPwAA" (6 bytes);
# the diagnostic "helper: fake". It runs until it is ended.
printf 'REA'; sleep 0.1; printf 'DY\nPCM AACA'; sleep 0.1; printf 'Pw==\n'
printf 'BOGUS line\nPCM AACA!Pw==\nPCM AACAPwAA\nSTATUS receiving\nPCM AAAAAAAAgD8=\n'
echo 'helper: fake' >&2
exec sleep 30
