#!/usr/bin/env bash
# Prints a TCP port on 127.0.0.1 that nothing listens on right now (for tests that start servers).
#
# Another process may still take the port before the caller binds it; host/server.sh with
# SERVER_PORT=0 avoids that race by retrying on its own.
set -euo pipefail

is_port_taken() {
    # A successful connect means someone listens; the probe opens and closes fd 3 only.
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    if ! is_port_taken "$port"; then
        echo "$port"
        exit 0
    fi
done
echo "free_port.sh: no free port found after 50 tries" >&2
exit 1
