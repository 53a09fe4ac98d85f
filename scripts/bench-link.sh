#!/usr/bin/env bash
# Measures a session over a bad but live link: the real TalvoServer with the simulated K2 in one
# network namespace, a scripted operator in another, a router namespace between them. The
# operator logs in as demo, asks for display and S-meter reports and receive audio (ALSA's file
# plugin captures a steady tone), keys the radio with TX, and tunes the radio to a new frequency
# every second, so that status and audio flow all the time. Every 10 s it prints the "AU" lines
# that arrived, how far audio lags its capture (the frame's tick against the same clock), the
# window's worst and the newest, and how far the "FREQ" status lags the tuning that caused it,
# the worst of the reports that arrived in the window and the newest; the end of the run gives
# the worst of each and when.
#
#   bench-link.sh rate KBIT SECONDS [AFTER]
#                                        the link limited to KBIT kbit/s each way (tbf); with
#                                        AFTER, fast until AFTER seconds after receive audio
#                                        began (the operator's or the client's "AU ON"), then
#                                        limited
#   bench-link.sh queue KBIT SECONDS [AFTER]
#                                        the same limit in the router on the path, with 2 s of
#                                        queue before it (a loaded mobile or DSL line); AFTER
#                                        as for rate
#   bench-link.sh loss PERCENT SECONDS   a fast link that loses that share of the packets each way
#   bench-link.sh rtt MS SECONDS         a fast link whose round trip takes MS milliseconds (a
#                                        satellite path, a loaded mobile link)
#   bench-link.sh grow MS SECONDS [AFTER]
#                                        a fast link whose short round trip becomes MS
#                                        milliseconds AFTER seconds (15 if not given) after the
#                                        path's delayer started (a mobile link whose queue
#                                        others' traffic fills during the session); the login
#                                        comes about 1.5 s after that start (the client turns
#                                        receive audio on some 5 s later still), so
#                                        "grow 1000 240 4" steps a few seconds after the login
#   bench-link.sh wander MIN MAX SECONDS a fast link whose round trip wanders between MIN and MAX
#                                        milliseconds over seconds (a mobile cell that others
#                                        fill and empty), packets kept in order
#   bench-link.sh spikes MIN MAX SECONDS a fast link whose round trip is MIN but for a spike
#                                        towards MAX every two to six seconds
#   bench-link.sh outage SECONDS [FLOOR] the link cut in the router for SECONDS after 15 s of
#                                        flow, then mended; FLOOR sets the ends' least
#                                        retransmission timeout in ms (a jittery mobile path)
#   bench-link.sh dead [FLOOR]           the link cut after 15 s for good: when the server gives
#                                        the session up, and why
#   bench-link.sh stall                  an operator with a 1 KiB receive buffer who stops
#                                        reading after the login: the same
#   bench-link.sh client SHAPE ARGS...   rate, queue, loss, rtt, grow, wander or spikes as above, with
#                                        the real client
#                                        as the operator, audio both ways (below)
#   bench-link.sh client outage SECONDS  the same across a fast link cut in the router for SECONDS,
#                                        20 s after audio began: how much of the audio of the
#                                        outage each end plays once the link is back (below)
# With AFTER, and in grow, a line "-- slowed at" or "-- the round trip became" says when the link
# changed (seconds after receive audio began), and every window's line how many seconds after
# that it ends, so that the first window after the change stands apart.
#
# The operator's socket is set up as the client's, with the TCP options that tests/support's
# linktiming prints (the user timeout, the cap on the retransmission interval);
# LINK_RTO_MAX_MS=0 leaves the kernel's back-off, as a kernel without the cap does. BENCH_CC names
# the congestion control of both ends (cubic, bbr); the system's default otherwise.
#
# The client mode (scripts/bench-link-client.sh) runs the client's main window offscreen
# (tests/client/ClientAudioBench --client) with the station "Local K2" at 10.61.0.1 and its
# trace on; it turns the AF knob to 3 and clicks push-to-talk, streams SECONDS both ways and
# disconnects in order. ALSA's file plugin is the sound card on both sides: the server captures a
# steady 1 kHz tone, the microphone gives a steady 700 Hz tone with a faint hiss (MIC=speech:
# syllable-like tone bursts with digital silence between, which the squelch of 0 does not pass),
# and both playbacks go into files. Every 10 s, and for the whole run at the end, it prints:
#   receive   the "AU" lines the client read (its trace), the seconds of audio they carry (the
#             MPEG Layer-3 frames are a constant 16 kbit/s: unescaped payload bytes / 2000), the
#             seconds the client played (growth of its playback file, 16000 bytes a second) as a
#             share of that, and the age of the lines as they were read, median and worst (tick -
#             stamp, the read seen in the trace, which is polled every 50 ms);
#   transmit  the "AU DATA" lines the client sent and the microphone's 8 ms blocks they carry
#             (each line is one 72 ms frame of 144 bytes, nine blocks: payload bytes / 16), their
#             seconds of audio, the seconds of it that reached the server (its socket's
#             bytes_received from ss, matched byte for byte against the sent lines in order),
#             and the seconds the server played (growth of its playback file) as a share of
#             what reached it; frames the server dropped as late show as a share below 100 %;
#             and the age of the lines that reached the server in the window as they reached it
#             (the tick their last byte was seen in ss, polled every 50 ms, - stamp), median and
#             worst;
#   runs      how the sent lines are spread: by their stamps, a run of lines ends where more than
#             108 ms (one and a half frames) lie between two; the runs' length and the gaps'
#             length, median. A whole stream is one run a window long.
# What a receiver drops as late (common/FrameClock.h) shows as played falling short of what
# arrived.
# ALSA's file plugin holds back one 400 ms device buffer until more audio follows, so a window's
# played seconds may lag its arrivals by that much (the first window reads 0.4 s short); the
# held-back audio is written when the device closes, so the summary's figures are whole.
#
# Needs root, iproute2 and a release build (TALVO_BUILD names another build folder). With
# BENCH_KEEP=DIR the run's files (traces, event log, sound files) are kept in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TALVO_BUILD:-build}
client=""
[[ ${1:-} == client ]] && { client=1; shift; }
what=${1:?[client] rate KBIT SECONDS [AFTER] | [client] queue KBIT SECONDS [AFTER] | [client] loss PERCENT SECONDS | [client] rtt MS SECONDS | [client] grow MS SECONDS [AFTER] | [client] wander MIN MAX SECONDS | [client] spikes MIN MAX SECONDS | outage SECONDS [FLOOR] | dead [FLOOR] | stall}
if [[ -n $client && ! $what =~ ^(rate|queue|loss|rtt|grow|wander|spikes|outage)$ ]]; then
  echo "bench-link.sh: the client mode takes rate, queue, loss, rtt, grow, wander, spikes or outage" >&2
  exit 2
fi
arg2=${2:-} arg3=${3:-} arg4=${4:-}
if [[ $what =~ ^(rate|queue|grow)$ && -n $arg4 && ! $arg4 =~ ^[0-9]+$ ]]; then
  echo "bench-link.sh: AFTER is a whole number of seconds" >&2; exit 2
fi
home=$(mktemp -d)
port=6110
id=tlvb$$
s=${id}s c=${id}c r=${id}r
cleanup() {
  # What the shapers dropped: each drop costs the sender a retransmission.
  local dropped=0
  for n in $s $c $r; do
    for d in $(tc -s -n $n qdisc show 2>/dev/null | grep -o "dropped [0-9]*" | cut -d" " -f2); do
      dropped=$((dropped + d))
    done
  done
  echo "-- packets dropped in the shapers and queues: $dropped"
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  bash scripts/netns-gone.sh $s $c $r
  [[ -n ${BENCH_KEEP:-} ]] && cp -r "$home" "$BENCH_KEEP"
  rm -rf "$home"
}
trap cleanup EXIT

# slow: with AFTER, the operator (the client's watcher) puts rate's or queue's shaping in place
# itself, AFTER seconds after receive audio began.
slow=""
case $what in
  rate|queue) kbit=$arg2 seconds=${arg3:?} cut=0 out=0 slow=$arg4 ;;
  rtt|loss|grow) seconds=${arg3:?} cut=0 out=0 ;;
  wander|spikes) seconds=${arg4:?} cut=0 out=0 ;;
  outage) out=${arg2:?} cut=15 seconds=$((15 + arg2 + 30))
          [[ -n $client ]] && cut=20 seconds=$((20 + arg2 + 20)) ;;
  dead) out=-1 cut=15 seconds=100 ;;
  stall) out=0 cut=0 seconds=100 ;;
  *) echo "bench-link.sh: rate, queue, loss, rtt, grow, wander, spikes, outage, dead or stall" >&2
     exit 2 ;;
esac

export TALVO_HOME=$home QT_QPA_PLATFORM=offscreen
# The client's outage: the tone changes at the cut and at the mend, so that what each end plays
# tells before, during and after apart. The sound files are made before the path, as that takes
# seconds for a long run and grow's AFTER counts from the path's start.
tones="1000"
[[ -n $client && $what == outage ]] && tones="1000@$cut 1500@$out 600"
python3 -c "
import math, struct, sys
n, tones, s = 8000 * ($seconds + 30), '$tones'.split(), []
for t in tones:
    hz, _, length = t.partition('@')
    s.extend(int(8000 * math.sin(2 * math.pi * int(hz) * i / 8000)) for i in range(8000 * int(length) if length else n - len(s)))
sys.stdout.buffer.write(b''.join(struct.pack('<h', v) for v in s[:n]))
" > "$home/capture.raw"
if [[ -n $client ]]; then
  [[ $what == outage ]] && export BENCH_OUTAGE="$r $cut $out"
  bash scripts/bench-link-client.sh mic "$home" "$seconds"
fi

path=()
[[ $what == outage && -n $arg3 ]] && path=(--floor "$arg3")
[[ $what == dead && -n $arg2 ]] && path=(--floor "$arg2")
[[ $what == rtt ]] && path=(--rtt "${arg2:?}" "$build/tests/support/pathdelay")
[[ $what == grow ]] && path=(--rtt 0 "$build/tests/support/pathdelay" --grow "${arg4:-15}" "${arg2:?}")
[[ $what == loss ]] && path=(--rtt 0 "$build/tests/support/pathdelay" --loss "${arg2:?}")
[[ $what =~ ^(wander|spikes)$ ]] && path=(--rtt 0 "$build/tests/support/pathdelay" "--$what" \
  "${arg2:?}" "${arg3:?}")
bash scripts/netns-routed.sh "${path[@]}" $s $c $r
if [[ -n ${BENCH_CC:-} ]]; then
  # A namespace may take only what the system allows.
  allowed=$(sysctl -n net.ipv4.tcp_allowed_congestion_control)
  [[ " $allowed " == *" $BENCH_CC "* ]] ||
    sysctl -qw net.ipv4.tcp_allowed_congestion_control="$allowed $BENCH_CC"
  for n in $s $c; do ip netns exec $n sysctl -qw net.ipv4.tcp_congestion_control="$BENCH_CC"; done
fi
# When the round trip grows, on the boot clock: the delayer's start (its /proc entry) + AFTER.
grown=""
[[ $what == grow ]] && grown=$(awk -v hz="$(getconf CLK_TCK)" -v after="${arg4:-15}" \
  '{ printf "%.2f", $22 / hz + after }' /proc/"$(ip netns pids $r | head -1)"/stat)
[[ $what =~ ^(rate|queue)$ && -z $slow ]] && bash scripts/netns-shape.sh $what "$kbit" $s $c $r
export TALVO_ALSA_PCM_IN="{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$home/capture.raw\" format raw }"
export TALVO_ALSA_PCM_OUT=null
[[ -n $client ]] && TALVO_ALSA_PCM_OUT="{ type file slave { pcm { type null } } file \"$home/server-out.raw\" format raw }"
"$build"/k2sim/k2sim --link "$home/k2" > /dev/null &
for _ in $(seq 50); do [[ -e $home/k2 ]] && break; sleep 0.1; done
bash scripts/demo-ini.sh "$home/TalvoServer.ini" "$home/k2" "$port"
ip netns exec $s env TALVO_HOME="$home" "$build"/server/TalvoServer 2> /dev/null &
sleep 1

if [[ -n $client ]]; then
  rc=0
  [[ -n $slow ]] && export BENCH_SLOW="$r $what $kbit $slow"
  [[ -n $grown ]] && export BENCH_GROWN="$arg2 $grown"
  bash scripts/bench-link-client.sh "$home" $c $s "$seconds" || rc=$?
  echo "-- the server's event log:"
  grep -v "Connection accepted" "$home/TalvoServer.log" || true
  exit $rc
fi

ip netns exec $c python3 - "$seconds" "$cut" "$out" "$r" "$home/TalvoServer.log" "$what" \
  "$build/tests/support/linktiming" $s $c "$arg2" "$slow" "$grown" <<'PY'
import hashlib, os, select, socket, subprocess, sys, time
seconds, cut, out, router = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
log, mode, timing = sys.argv[5], sys.argv[6], sys.argv[7]
server, caller, figure, slow, grown = sys.argv[8:13]
# The growth as a time.monotonic() moment.
grown = grown and float(grown) - time.clock_gettime(time.CLOCK_BOOTTIME) + time.monotonic()
def given_up():
    with open(log, encoding="latin-1") as f: lines = f.read().splitlines()
    ended = [i for i, l in enumerate(lines) if l.endswith("] Disconnected")]
    return lines[ended[0] - 1].split("\t")[1] if ended else None
def outage(verb):
    for a in ("10.61.0.1", "10.61.1.2"):
        subprocess.run(["ip", "-n", router, "route", verb, "blackhole", a], check=True)
def slowdown():
    # The shaping that rate and queue put in place from the start without AFTER.
    subprocess.run(["bash", "scripts/netns-shape.sh", mode, figure, server, caller, router],
                   check=True)
s = socket.socket()
if mode == "stall": s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
for name, option, value in (l.split() for l in subprocess.check_output([timing], text=True).splitlines()):
    if name == "TCP_RTO_MAX_MS" and os.environ.get("LINK_RTO_MAX_MS") == "0": continue
    try: s.setsockopt(socket.IPPROTO_TCP, int(option), int(value))
    except OSError:  # a kernel without the cap keeps its back-off, as the client does
        if name != "TCP_RTO_MAX_MS": raise
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
maxfreq = 0; maxau = 0; phase = 0; mended = None; stale = 0; back = None; maxfreqat = maxauat = 0
winau = winfreq = None
# The step, in seconds after the start: the slowing, or the round trip's growth.
step = int(slow) if slow else grown - start if grown else None; stepped = False
def lag(v): return "%6.2f s" % v if v is not None else "     -  "
while alive:
    now = time.monotonic() - start
    if step is not None and not stepped and now >= step:
        if slow: slowdown()
        stepped = True
        print("-- slowed at %.1f s" % now if slow else
              "-- the round trip became %s ms at %.1f s" % (figure, step), flush=True)
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
            winau = max(winau or 0, aulag)
            if aulag > maxau: maxau, maxauat = aulag, time.monotonic() - start
            if mended and aulag > 1000: stale += 1
        elif line.startswith("FREQ "):
            k = int(float(line[5:])) - 14000
            if k in tuned:
                freqlag = time.monotonic() - tuned[k]
                winfreq = max(winfreq or 0, freqlag)
                if freqlag > maxfreq: maxfreq, maxfreqat = freqlag, time.monotonic() - start
                if mended and back is None and k > cut + out: back = time.monotonic() - mended
    end = time.monotonic() - start
    if end >= window or end >= seconds or not alive:
        since = ""
        if step is not None:
            event = "slowing" if slow else "growth"
            since = "  %5.1f s after the %s" % (end - step, event) if stepped else \
                "  before the " + event
        print("%5.1f s  AU lines %4d  audio lag worst %s, last %s  FREQ lag worst %s, last %s%s" % (
              end, au, lag(winau and winau / 1000), lag(aulag / 1000), lag(winfreq), lag(freqlag),
              since), flush=True)
        au = 0; window += 10; winau = winfreq = None
    if end >= seconds: break  # after the run's last window, however short
print("-- %s after %.1f s; worst audio lag %.2f s (at %.0f s), worst FREQ lag %.2f s (at %.0f s)" % (
    "open" if alive else "closed", time.monotonic() - start, maxau / 1000, maxauat, maxfreq,
    maxfreqat))
if mended:
    print("-- after the mend: a frequency tuned then reported in %s; %d AU lines over 1 s old" % (
        "%.1f s" % back if back is not None else "never", stale))
PY
echo "-- the server's event log:"
grep -v "Connection accepted" "$home/TalvoServer.log" || true
