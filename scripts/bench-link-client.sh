#!/usr/bin/env bash
# The client's side of bench-link.sh (its header explains the figures): the real client's main
# window (tests/client/ClientAudioBench --client) in the caller's namespace, with ALSA's file
# plugin as its sound card, against the server that bench-link.sh started at 10.61.0.1, and a
# watcher that follows the client's trace, both playback files and the server's socket.
# MIC=speech gives the microphone speech-like tone bursts instead of the steady tone. The trace is
# followed in one file, so a run must end before it reaches 10 MB (about 25 minutes).
# BENCH_OUTAGE="ROUTER CUT SECONDS" cuts the link in ROUTER CUT seconds after receive audio began,
# for SECONDS; the microphone's tone, like the server's, changes at the cut and at the mend, and
# the end of the run says how much of each tone each end played.
# BENCH_SLOW="ROUTER SHAPE KBIT AFTER" slows the fast link AFTER seconds after receive audio
# began, as bench-link.sh's rate or queue (SHAPE) does from the start: tbf on SERVER's and
# CALLER's interfaces, or in ROUTER with 2 s of queue. BENCH_GROWN="MS AT" says that the round
# trip becomes MS milliseconds when the boot clock reads AT seconds. Either way every window says
# how long after that step it ends.
# With "mic" it only makes the microphone's sound file, HOME/mic.raw, which a run then takes
# instead of making its own: bench-link.sh makes it before the path, as that takes seconds for a
# long run and grow's AFTER counts from the path's start.
# Usage: bench-link-client.sh HOME CALLER SERVER SECONDS   (the namespaces by name)
#        bench-link-client.sh mic HOME SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TALVO_BUILD:-build}
read -r router cut out <<< "${BENCH_OUTAGE:-- 0 0}"
mic() {
python3 - "$home/mic.raw" "$((seconds + 30))" "${MIC:-steady}" "$cut" "$out" <<'PY'
import array, math, random, sys
path, seconds, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
cut, out = int(sys.argv[4]), int(sys.argv[5])
rng = random.Random(2718)
s = array.array("h")
if kind == "speech":
    # Syllables of 80 to 300 ms in words of three to eight, between them digital silence (a
    # quiet room under a squelch): the stream itself comes in bursts.
    while len(s) < 8000 * seconds:
        for _ in range(rng.randint(3, 8)):
            n, hz, peak = rng.randint(640, 2400), rng.uniform(250, 900), rng.uniform(3000, 10000)
            s.extend(int(peak * math.sin(math.pi * i / n) * math.sin(2 * math.pi * hz * i / 8000))
                     for i in range(n))
            s.extend([0] * rng.randint(240, 1200))
        s.extend([0] * rng.randint(2400, 7200))
    del s[8000 * seconds:]
else:
    def hz(i): return 700 if not out or i < 8000 * cut else 1100 if i < 8000 * (cut + out) else 500
    s.extend(int(8000 * math.sin(2 * math.pi * hz(i) * i / 8000)) + rng.randint(-3, 3)
             for i in range(8000 * seconds))
open(path, "wb").write(s.tobytes())
PY
}
if [[ ${1:-} == mic ]]; then home=$2 seconds=$3; mic; exit 0; fi
home=$1 caller=$2 server=$3 seconds=$4
idle=2

bash scripts/demo-client-ini.sh "$home/TalvoClient.INI" 6110 10.61.0.1
printf '\n[Debug]\nTrace=1\n' >> "$home/TalvoClient.INI"
[[ -e $home/mic.raw ]] || mic

capture() { echo "{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$1\" format raw }"; }
playback() { echo "{ type file slave { pcm { type null } } file \"$1\" format raw }"; }
ip netns exec "$caller" env TALVO_ALSA_PCM_IN="$(capture "$home/mic.raw")" \
  TALVO_ALSA_PCM_OUT="$(playback "$home/client-out.raw")" \
  "$build"/tests/client/ClientAudioBench --client "$home" "$idle" "$seconds" \
  > "$home/client.err" 2>&1 &
client=$!
trap 'kill $client 2>/dev/null || true' EXIT

python3 - "$home" "$client" "$seconds" "$server" "$router" "$cut" "$out" "$caller" \
  "${BENCH_SLOW:-}" "${BENCH_GROWN:-}" <<'PY'
import array, math, os, re, statistics, subprocess, sys, time
home, client, seconds, server = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
router, cut, out, caller = sys.argv[5], int(sys.argv[6]), int(sys.argv[7]), sys.argv[8]
slow, grown = sys.argv[9].split(), sys.argv[10].split()
phase = 0
def outage(verb):
    for a in ("10.61.0.1", "10.61.1.2"):
        subprocess.run(["ip", "-n", router, "route", verb, "blackhole", a], check=True)
def slowdown(shaper, shape, kbit):
    # What bench-link.sh's rate and queue put in place from the start without AFTER.
    subprocess.run(["bash", "scripts/netns-shape.sh", shape, kbit, server, caller, shaper],
                   check=True)
# The growth as a time.monotonic() moment.
grownat = grown and float(grown[1]) - time.clock_gettime(time.CLOCK_BOOTTIME) + time.monotonic()
trace = home + "/TalvoClient.log"
played_rx, played_tx = home + "/client-out.raw", home + "/server-out.raw"
GAP_MS = 108  # one and a half MP3 frames (72 ms each): more than half a frame of blocks skipped
WRAP = 1 << 32

def alive():
    try:
        with open("/proc/%d/stat" % client) as f: return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError: return False
def size(path):
    try: return os.path.getsize(path)
    except OSError: return 0
def received():
    # What the server's end of the connection has taken in, in bytes.
    out = subprocess.run(["ip", "netns", "exec", server, "ss", "-tinH", "sport", "=", ":6110"],
                         capture_output=True, text=True).stdout
    return max((int(b) for b in re.findall(r"bytes_received:(\d+)", out)), default=0)
def payload(frame):
    # Past the two 8-digit fields; every escape (27) stands with the byte after it for one.
    return len(frame) - 16 - frame.count(b"\x1b", 16)
def median(v): return statistics.median(v) if v else 0
def age(tick, stamp):
    # Seconds from the stamp to the tick; the two clocks are read apart, so a line read in the
    # millisecond it was stamped may show a tick just before the stamp: no age, not a wrap.
    d = (tick - stamp) % WRAP
    return 0 if d > WRAP // 2 else d / 1000
def runs(stamps):
    # Lines sent one frame after another form a run; a longer pause between two ends it.
    if not stamps: return [], []
    lengths, gaps, n = [], [], 1
    for a, b in zip(stamps, stamps[1:]):
        if (b - a) % WRAP > GAP_MS: lengths.append(n); gaps.append((b - a) % WRAP); n = 1
        else: n += 1
    return lengths + [n], gaps

# rx: [stamp, tick read, payload]; tx: [stamp, payload, end in the sent stream, tick arrived]
rx, tx = [], []
sent = 0  # bytes the client has sent: its traced lines, and "TX" which is not traced
start = None; pos = 0; rest = b""; got = 0; done = 0; marks = (0, 0, 0); arrived = 0
step = None; stepped = False  # the slowing or the growth, in seconds after receive audio began
while alive():
    time.sleep(0.05)
    if start is not None:
        # Before the trace is read: a line that reached the server is already in the list.
        got = max(got, received())
    now = time.monotonic(); tick = time.monotonic_ns() // 1000000 % WRAP
    if size(trace) < pos: pos = 0; rest = b""; sent = 0; start = None; rx, tx = [], []
    try:
        with open(trace, "rb") as f: f.seek(pos); data = f.read()
    except OSError: data = b""
    pos += len(data)
    lines = (rest + data).split(b"\r\n"); rest = lines.pop()
    for line in lines:
        kind, text = line[8:15], line[15:]
        if kind == b" SENT: ":
            sent += len(text) + 2
            if text.startswith(b"AU DATA ") and start is not None:
                tx.append([int(text[8:16], 16), payload(text[8:]), sent, None])
            elif text == b"AU ON":
                start = now; sent += 4  # push-to-talk's "TX" follows at once
                step = int(slow[3]) if slow else grownat - start if grown else None
                base = last = (size(played_rx), size(played_tx))
                print("-- receive audio and push-to-talk on", flush=True)
        elif kind == b" RCVD: " and text.startswith(b"AU ") and len(text) > 19 and start is not None:
            rx.append([int(text[3:11], 16), tick, payload(text[3:])])
    while arrived < len(tx) and tx[arrived][2] <= got: tx[arrived][3] = tick; arrived += 1
    if out and start is not None and phase < 2 and now - start >= cut + out * phase:
        outage("add" if phase == 0 else "del"); phase += 1
        print("-- %s at %.1f s" % ("cut" if phase == 1 else "mended", now - start), flush=True)
    if step is not None and not stepped and now - start >= step:
        if slow: slowdown(*slow[:3])
        stepped = True
        print("-- slowed at %.1f s" % (now - start) if slow else
              "-- the round trip became %s ms at %.1f s" % (grown[0], step), flush=True)
    if start is None or now - start < (done + 1) * 10 or (done + 1) * 10 > seconds: continue
    done += 1
    r, s, a = rx[marks[0]:], tx[marks[1]:], tx[marks[2]:arrived]
    marks = (len(rx), len(tx), arrived)
    cur = (size(played_rx), size(played_tx))
    rxsec, txsec = sum(x[2] for x in r) / 2000, sum(x[1] for x in s) / 2000
    arr, pr, pt = sum(x[1] for x in a) / 2000, (cur[0] - last[0]) / 16000, (cur[1] - last[1]) / 16000
    lengths, gaps = runs([x[0] for x in s])
    since = ""
    if step is not None:
        event = "slowing" if slow else "growth"
        since = "; %.1f s after the %s" % (now - start - step, event) if stepped else \
            "; before the " + event
    ages = [age(x[1], x[0]) for x in r]
    print("%5d s  receive: %4d AU lines, %5.2f s of audio, played %5.2f s (%3.0f %%), age at "
          "arrival median %.2f s, worst %.2f s%s" % (done * 10, len(r), rxsec, pr,
          100 * pr / rxsec if rxsec else 0, median(ages), max(ages, default=0), since))
    ages = [age(x[3], x[0]) for x in a]
    print("         transmit: %4d AU DATA lines = %4d blocks of 8 ms, %5.2f s of audio; arrived "
          "%5.2f s, played %5.2f s (%3.0f %%); age at the server median %.2f s, worst %.2f s" % (
          len(s), sum(x[1] for x in s) // 16, txsec, arr, pt, 100 * pt / arr if arr else 0,
          median(ages), max(ages, default=0)))
    print("         sent in %d runs, median %s lines; gaps median %.0f ms, longest %.0f ms" % (
          len(lengths), median(lengths), median(gaps), max(gaps, default=0)), flush=True)
    last = cur

if start is None:
    sys.exit("-- the client never turned receive audio on")
a = tx[:arrived]
rxsec, txsec = sum(x[2] for x in rx) / 2000, sum(x[1] for x in tx) / 2000
arr = sum(x[1] for x in a) / 2000
pr, pt = (size(played_rx) - base[0]) / 16000, (size(played_tx) - base[1]) / 16000
lengths, gaps = runs([x[0] for x in tx])
steps = [(b[0] - a[0]) % WRAP for a, b in zip(tx, tx[1:])]
ages = [age(x[1], x[0]) for x in rx]
txages = [age(x[3], x[0]) for x in a]
print("-- the whole run (%d s of microphone, %d blocks of 8 ms; receive until the AF knob went "
      "to 0; the files complete after the close):" % (seconds, seconds * 125))
print("   receive: %d AU lines, %.2f s of audio, played %.2f s (%.0f %%); age at arrival median "
      "%.2f s, worst %.2f s" % (len(rx), rxsec, pr, 100 * pr / rxsec if rxsec else 0,
      median(ages), max(ages, default=0)))
print("   transmit: %d AU DATA lines = %d blocks of 8 ms (%.0f %% of the microphone's), %.2f s of "
      "audio; arrived %d lines, %.2f s; played %.2f s (%.0f %% of what arrived); age at the "
      "server median %.2f s, worst %.2f s" % (
      len(tx), sum(x[1] for x in tx) // 16, 100 * sum(x[1] for x in tx) / 16 / (seconds * 125),
      txsec, len(a), arr, pt, 100 * pt / arr if arr else 0, median(txages),
      max(txages, default=0)))
print("   sent in %d runs: length median %s lines (longest %d); gaps median %.0f ms (longest "
      "%.0f ms); between lines median %.0f ms" % (len(lengths), median(lengths),
      max(lengths, default=0), median(gaps), max(gaps, default=0), median(steps)))

def tones(path, freqs):
    # Seconds of each tone in what was played: 40 ms pieces, each counted for the strongest
    # tone when it stands clearly above the others.
    pcm = array.array("h"); pcm.frombytes(open(path, "rb").read()[: os.path.getsize(path) // 2 * 2])
    got, n = [0.0] * len(freqs), 320
    for at in range(0, len(pcm) - n, n):
        part = pcm[at:at + n]; power = []
        for f in freqs:
            c = 2 * math.cos(2 * math.pi * f / 8000); a = b = 0.0
            for x in part: a, b = x + c * a - b, a
            power.append(a * a + b * b - c * a * b)
        best = max(range(len(freqs)), key=lambda k: power[k])
        if power[best] > 4 * sorted(power)[-2] and power[best] > 1e9: got[best] += n / 8000
    return got
if out:
    for what, path, freqs in (("receive", played_rx, (1000, 1500, 600)),
                              ("transmit", played_tx, (700, 1100, 500))):
        before, during, after = tones(path, freqs)
        print("   %s played: %.2f s before the cut, %.2f s of the audio of the %d s outage, %.2f s "
              "after the mend" % (what, before, during, out, after))
PY
wait "$client" || { echo "-- the client failed:"; cat "$home/client.err"; exit 1; }
