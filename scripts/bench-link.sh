#!/usr/bin/env bash
# Measures a session over a bad but live link: the real TalvoServer with the simulated K2 in one
# network namespace, a scripted operator in another, a router namespace between them. The
# operator logs in as demo, asks for display and S-meter reports and receive audio (ALSA's file
# plugin captures a steady tone), keys the radio with TX, and tunes the radio to a new frequency
# every second, so that status and audio flow all the time. Every 10 s it prints the "AU" lines
# that arrived, how far the newest audio lags its capture (the frame's tick against the same
# clock), and how far the newest "FREQ" status lags the tuning that caused it.
#
#   bench-link.sh rate KBIT SECONDS      the link limited to KBIT kbit/s each way (tbf)
#   bench-link.sh outage SECONDS [FLOOR] the link cut in the router for SECONDS after 15 s of
#                                        flow, then mended; FLOOR sets the ends' least
#                                        retransmission timeout in ms (a jittery mobile path)
#   bench-link.sh dead [FLOOR]           the link cut after 15 s for good: when the server gives
#                                        the session up, and why
#   bench-link.sh stall                  an operator with a 1 KiB receive buffer who stops
#                                        reading after the login: the same
#
# The operator's socket is set up as the client's: user timeout 50 s, retransmissions at most 3 s
# apart (LINK_RTO_MAX_MS=0 leaves the kernel's back-off, as a kernel without the cap does).
# Needs root, iproute2 and a release build (TALVO_BUILD names another build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TALVO_BUILD:-build}
what=${1:?rate KBIT SECONDS | outage SECONDS [FLOOR] | dead [FLOOR] | stall}
arg2=${2:-} arg3=${3:-}
home=$(mktemp -d)
port=6110
id=tlvb$$
s=${id}s c=${id}c r=${id}r
cleanup() {
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  for n in $s $c $r; do ip netns del $n 2>/dev/null || true; done
  rm -rf "$home"
}
trap cleanup EXIT

floor=""
[[ $what == outage ]] && floor=$arg3
[[ $what == dead ]] && floor=$arg2
bash scripts/netns-routed.sh $s $c $r $floor

case $what in
  rate) kbit=$arg2 seconds=${arg3:?} cut=0 out=0
        tc -n $s qdisc add dev $s root tbf rate "${kbit}kbit" burst 1600 latency 400ms
        tc -n $c qdisc add dev $c root tbf rate "${kbit}kbit" burst 1600 latency 400ms ;;
  outage) out=${arg2:?} cut=15 seconds=$((15 + arg2 + 30)) ;;
  dead) out=-1 cut=15 seconds=100 ;;
  stall) out=0 cut=0 seconds=100 ;;
  *) echo "bench-link.sh: rate, outage, dead or stall" >&2; exit 2 ;;
esac

export TALVO_HOME=$home QT_QPA_PLATFORM=offscreen
python3 -c "
import math, struct, sys
n = 8000 * ($seconds + 30)
sys.stdout.buffer.write(b''.join(struct.pack('<h', int(8000 * math.sin(2 * math.pi * 1000 * i / 8000))) for i in range(n)))
" > "$home/capture.raw"
export TALVO_ALSA_PCM_IN="{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$home/capture.raw\" format raw }"
export TALVO_ALSA_PCM_OUT=null
"$build"/k2sim/k2sim --link "$home/k2" > /dev/null &
for _ in $(seq 50); do [[ -e $home/k2 ]] && break; sleep 0.1; done
bash scripts/demo-ini.sh "$home/TalvoServer.ini" "$home/k2" "$port"
ip netns exec $s env TALVO_HOME="$home" "$build"/server/TalvoServer 2> /dev/null &
sleep 1

ip netns exec $c python3 - "$seconds" "$cut" "$out" "$r" "$home/TalvoServer.log" "$what" <<'PY'
import hashlib, os, select, socket, subprocess, sys, time
seconds, cut, out, router = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
log, mode = sys.argv[5], sys.argv[6]
def given_up():
    with open(log, encoding="latin-1") as f: lines = f.read().splitlines()
    ended = [i for i, l in enumerate(lines) if l.endswith("] Disconnected")]
    return lines[ended[0] - 1].split("\t")[1] if ended else None
def outage(verb):
    for a in ("10.61.0.1", "10.61.1.2"):
        subprocess.run(["ip", "-n", router, "route", verb, "blackhole", a], check=True)
s = socket.socket()
if mode == "stall": s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_USER_TIMEOUT, 50000)
rto_max = int(os.environ.get("LINK_RTO_MAX_MS", "3000"))
if rto_max: s.setsockopt(socket.IPPROTO_TCP, 44, rto_max)  # TCP_RTO_MAX_MS
s.settimeout(10)
s.connect(("10.61.0.1", 6110))
s.setblocking(False)
buf = b""
def lines():
    global buf
    while b"\r\n" in buf:
        line, buf = buf.split(b"\r\n", 1)
        yield line.decode("latin-1")
def tick(): return time.monotonic_ns() // 1000000 % (1 << 32)
def read(wait):
    global buf
    r, _, _ = select.select([s], [], [], wait)
    if not r: return True
    try: data = s.recv(65536)
    except OSError as e: print("-- error", e); return False
    if not data: return False
    buf += data
    return True
while b"\r\n" not in buf: read(1)
banner = next(lines())
digest = hashlib.md5((banner + "demo").encode("latin-1")).hexdigest().upper()
s.sendall(("AUTH demo " + digest + "\r\nDISP ON\r\nSM ON\r\nAU ON\r\nTX\r\n").encode())
start = time.monotonic()
if mode == "stall":
    while time.monotonic() - start < seconds and not given_up(): time.sleep(0.1)
    print("-- given up %.1f s after the reading stopped: %s" % (time.monotonic() - start, given_up()))
    sys.exit(0)
tuned = {}; nexttune = 0; window = 10; au = 0; aulag = 0; freqlag = None; alive = True
maxfreq = 0; maxau = 0; phase = 0; mended = None; stale = 0; back = None
while time.monotonic() - start < seconds and alive:
    now = time.monotonic() - start
    if out and phase == 0 and now >= cut:
        outage("add"); phase = 1; print("-- cut at %.1f s" % now, flush=True)
    if phase == 1 and out < 0 and given_up():
        print("-- given up %.1f s after the cut: %s" % (now - cut, given_up())); break
    if phase == 1 and out >= 0 and now >= cut + out:
        outage("del"); phase = 2; mended = time.monotonic()
        print("-- mended at %.1f s" % now, flush=True)
    if now >= nexttune:
        k = int(now)
        tuned[k] = time.monotonic()
        try: s.send(("FREQ %d\r\n" % (14000 + k)).encode())
        except OSError: pass
        nexttune = k + 1
    alive = read(0.05)
    for line in lines():
        if line.startswith("AU ") and len(line) > 19:
            au += 1
            aulag = (tick() - int(line[3:11], 16)) % (1 << 32)
            maxau = max(maxau, aulag)
            if mended and aulag > 1000: stale += 1
        elif line.startswith("FREQ "):
            k = int(float(line[5:])) - 14000
            if k in tuned:
                freqlag = time.monotonic() - tuned[k]
                maxfreq = max(maxfreq, freqlag)
                if mended and back is None and k > cut + out: back = time.monotonic() - mended
    if now >= window or not alive:
        print("%5.1f s  AU lines %4d  audio lag %6.2f s  FREQ lag %s" % (now, au, aulag / 1000,
              "%6.2f s" % freqlag if freqlag is not None else "-"), flush=True)
        au = 0; window += 10
print("-- %s after %.1f s; worst audio lag %.2f s, worst FREQ lag %.2f s" % (
    "open" if alive else "closed", time.monotonic() - start, maxau / 1000, maxfreq))
if mended:
    print("-- after the mend: a frequency tuned then reported in %s; %d AU lines over 1 s old" % (
        "%.1f s" % back if back is not None else "never", stale))
PY
echo "-- the server's event log:"
grep -v "Connection accepted" "$home/TalvoServer.log" || true
