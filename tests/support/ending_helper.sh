#!/bin/sh
# A helper that ends by itself after READY and one PCM line (the sample 1.0),
# for the clients' tests. "--backend=signal": killed by SIGKILL; any other
# backend: exit status 2.
printf 'READY\nPCM AACAPw==\n'
[ "$1" = "--backend=signal" ] && kill -KILL $$
exit 2
