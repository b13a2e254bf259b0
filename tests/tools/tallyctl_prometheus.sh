#!/usr/bin/env bash
# tallyctl's metrics with the real Prometheus tools, on loopback only.
#   tallyctl_prometheus.sh check TALLYCTL DEVSERVER SOURCE_DIR
#     promtool checks the shipped scrape configuration and alert rules, runs the rules' unit tests,
#     and lints real output of "tallyctl metrics" and of the exporter's /metrics against the
#     development server.
#   tallyctl_prometheus.sh e2e TALLYCTL DEVSERVER SOURCE_DIR
#     a real Prometheus server (free port, temporary storage, 1 s scrapes) scrapes the exporter, which
#     probes two development servers; series must appear for both with tallyway_up 1, and stopping one
#     server must turn its tallyway_up to 0.
# Exit 77 (skipped) when the Prometheus tools are not installed.
set -euo pipefail

mode=$1 tallyctl=$2 devserver=$3 source=$4
need=promtool
[ "$mode" = e2e ] && need=prometheus
if ! command -v "$need" >/dev/null; then
  echo "SKIP: $need is not installed (Debian package prometheus)"
  exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
export TALLYVIEW_SETTINGS_DIR=$work/settings # never the user's own

fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# The first line "listening on HOST:PORT" of a program started in the background, within 10 s.
address_of() {
  local file=$1
  for _ in $(seq 100); do
    if [ -s "$file" ] && head -n 1 "$file" | grep -q '^listening on '; then
      head -n 1 "$file" | sed 's/^listening on //'
      return
    fi
    sleep 0.1
  done
  fail "no address in $file"
}

# HTTP GET of a path on HOST:PORT through bash's own sockets; prints the body.
http_get() {
  local host=${1%:*} port=${1##*:} path=$2
  exec 3<>"/dev/tcp/$host/$port"
  printf 'GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n' "$path" "$1" >&3
  sed '1,/^\r$/d' <&3
  exec 3<&-
}

# A development server with eth0 configured, active and holding a bill period with a limit; its address
# in $server (not a subshell, so that its process is in $pids).
start_server() {
  local name=$1
  mkdir -p "$work/$name"
  "$devserver" --listen 127.0.0.1:0 --state "$work/$name" --adapters "$source/devserver/adapters-example.json" \
    >"$work/$name.out" 2>"$work/$name.log" &
  pids+=($!)
  server=$(address_of "$work/$name.out")
  local ctl=("$tallyctl" --server "$server")
  echo '{"active": true}' | "${ctl[@]}" config set eth0 >/dev/null || fail "config set on $name"
  printf '[{"from": "%s", "to": "2221-12-31", "limit": 1000000000000}]' "$(date -d '-3 days' +%F)" |
    "${ctl[@]}" periods set eth0 >/dev/null || fail "periods set on $name"
  "${ctl[@]}" activate eth0 >/dev/null || fail "activate on $name"
}

if [ "$mode" = check ]; then
  promtool check config "$source/docs/prometheus/prometheus.yml" || fail "the scrape configuration"
  promtool check rules "$source/docs/prometheus/tallyway-alerts.yml" || fail "the alert rules"
  (cd "$source/tests/tools" && promtool test rules tallyctl_alerts_test.yml) || fail "the alert rules' tests"

  start_server one
  "$tallyctl" --server "$server" metrics >"$work/metrics.txt" || fail "tallyctl metrics"
  grep -q '^tallyway_period_limit_bytes{alias="eth0"} 1000000000000$' "$work/metrics.txt" ||
    fail "no limit of eth0 in: $(cat "$work/metrics.txt")"
  promtool check metrics <"$work/metrics.txt" || fail "promtool check metrics on tallyctl metrics"

  "$tallyctl" --server "$server" exporter --listen 127.0.0.1:0 >"$work/exporter.out" 2>"$work/exporter.log" &
  pids+=($!)
  exporter=$(address_of "$work/exporter.out")
  http_get "$exporter" /metrics >"$work/exporter.txt"
  grep -q '^tallyway_exporter_scrapes_total{outcome="up"} ' "$work/exporter.txt" || fail "no scrape counter"
  promtool check metrics <"$work/exporter.txt" || fail "promtool check metrics on the exporter's /metrics"
  echo "PASS"
  exit 0
fi

started=$(date +%s.%N)
start_server north
north=$server
start_server south
south=$server
"$tallyctl" exporter --listen 127.0.0.1:0 >"$work/exporter.out" 2>"$work/exporter.log" &
exporter_pid=$!
pids+=($exporter_pid)
exporter=$(address_of "$work/exporter.out")

# Prometheus has no "port 0": try free-looking ports until one serves.
prometheus_up=
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 40000))
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue # taken
  cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: tallyway
    metrics_path: /probe
    static_configs:
      - targets: ['$north', '$south']
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: '$exporter'
EOF
  mkdir -p "$work/tsdb"
  prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$port" >"$work/prometheus.log" 2>&1 &
  prometheus_pid=$!
  pids+=($prometheus_pid)
  for _ in $(seq 100); do
    if http_get "127.0.0.1:$port" /-/ready 2>/dev/null | grep -q Ready; then
      prometheus_up=127.0.0.1:$port
      break 2
    fi
    kill -0 "$prometheus_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$prometheus_pid" 2>/dev/null || true
done
[ -n "$prometheus_up" ] || fail "Prometheus did not start"

# Runs an instant query until its result holds `want`, within `seconds`.
await() {
  local query=$1 want=$2 seconds=$3 result
  local encoded
  encoded=$(printf '%s' "$query" | sed 's/ /%20/g; s/{/%7B/g; s/}/%7D/g; s/"/%22/g; s/=/%3D/g')
  for _ in $(seq $((seconds * 5))); do
    result=$(http_get "$prometheus_up" "/api/v1/query?query=$encoded" 2>/dev/null || true)
    if grep -q -- "$want" <<<"$result"; then
      return
    fi
    sleep 0.2
  done
  fail "query $query never gave $want; last: $result"
}

for server in "$north" "$south"; do
  await "tallyway_period_received_bytes{instance=\"$server\",alias=\"eth0\"}" '"value":\[' 30
  await "tallyway_up{instance=\"$server\"}" '"value":\[[0-9.]*,"1"\]' 30
done
seen=$(date +%s.%N)

kill "${pids[0]}" # the north server
wait "${pids[0]}" 2>/dev/null || true
await "tallyway_up{instance=\"$north\"}" '"value":\[[0-9.]*,"0"\]' 30
await "tallyway_up{instance=\"$south\"}" '"value":\[[0-9.]*,"1"\]' 5

kill -TERM "$exporter_pid"
wait "$exporter_pid" || fail "the exporter did not end cleanly on SIGTERM"
ended=$(date +%s.%N)
awk -v a="$started" -v b="$seen" -v c="$ended" \
  'BEGIN { printf "PASS: series of both servers after %.1f s, whole test %.1f s\n", b - a, c - a }'
