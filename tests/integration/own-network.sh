#!/usr/bin/env bash
# Runs a test program in a network namespace of its own where the system allows it (as root),
# so that the program's fixed datagram port 127.0.0.1:12345 belongs to this test alone and no
# other copy running on the machine sends to it or takes its datagrams; otherwise runs it as is.
if unshare --net true 2>/dev/null; then
  exec unshare --net bash -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
exec "$@"
