#!/usr/bin/env bash
# The run command stops the quote service it started when the program ends,
# and leaves alone one that was already listening. Fake programs stand in for
# the real ones: the program exits at once, the service sleeps until stopped.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

mkdir "$work/bin"
cat > "$work/bin/tarnvale" <<FAKE
#!/usr/bin/env bash
# Ends as soon as a service it was given has come up.
for _ in \$(seq 50); do [ -s "$work/started" ] && break; sleep 0.1; done
exit 0
FAKE
cat > "$work/bin/tarnvale-quoted" <<FAKE
#!/usr/bin/env bash
echo \$\$ >> "$work/started"
exec sleep 300
FAKE
chmod +x "$work/bin/tarnvale" "$work/bin/tarnvale-quoted"

run() { TARNVALE_RUN_BIN="$work/bin" TARNVALE_QUOTE_PORT="$port" "$root/scripts/run.sh" --sample; }

# Nothing listening: the service is started, and stopped with the program.
: > "$work/started"
run
[ -s "$work/started" ] || { echo "FAIL: no service was started"; exit 1; }
pid=$(tail -1 "$work/started")
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: the service it started is still running"; exit 1; fi

# A service already listening: none is started, and that one keeps running.
python3 -c "import socket, time; s = socket.socket(); s.bind(('127.0.0.1', $port)); s.listen(); time.sleep(300)" &
listener=$!
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
run
[ "$(wc -l < "$work/started")" -eq 1 ] || { echo "FAIL: a second service was started"; exit 1; }
kill -0 "$listener" || { echo "FAIL: the running service was stopped"; exit 1; }
echo "1 passed, 0 failed"
