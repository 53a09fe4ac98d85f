#!/usr/bin/env bash
# Runs scripts/install-deps.sh with stand-ins for the package tools and checks what the run and
# the test command would install, its status, and that a service policy file that was there stays.
# Then the ADIF reader's script without the reader: it must fail at once and say how to install it.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
# Nothing is installed unless INSTALLED is set; apt-get logs its install line with the policy file
# in force, npm its arguments.
printf '#!/bin/sh\n[ -z "$INSTALLED" ] || printf "install ok installed"\n' > "$tmp/bin/dpkg-query"
cat > "$tmp/bin/apt-get" <<'SH'
#!/bin/sh
[ "$1" != install ] || echo "$* policy:$(tail -n1 "$TALVO_POLICY_RC" 2>/dev/null)" >> "$LOG"
SH
printf '#!/bin/sh\necho "npm $*" >> "$LOG"\n' > "$tmp/bin/npm"
printf '#!/bin/sh\nexec "$@"\n' > "$tmp/bin/sudo"
chmod +x "$tmp/bin"/*
export PATH=$tmp/bin:$PATH TALVO_POLICY_RC=$tmp/policy-rc.d TALVO_NODE_DIR=$tmp/node INSTALLED=""
failed=0
fail() { echo "install-deps-test: $*" >&2; failed=1; }

test_only=(nginx-light squid microsocks clang libclang-rt-14-dev nodejs xdotool trayer socat
  netcat-openbsd xvfb xauth libxcb-xtest0-dev libgtest-dev libgmock-dev libbenchmark-dev iproute2)
# name, arguments, INSTALLED, a policy file before: want the test packages, the reader, policy seen
rows=(
  "run|||policy|no|no|exit 0"
  "tests|--tests||policy|yes|yes|exit 0"
  "tests without a policy file|--tests|||yes|yes|exit 101"
  "tests, all packages there|--tests|1|policy|none|yes|"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name args INSTALLED policy want_tests want_reader want_policy <<<"$row"
  export LOG=$tmp/log INSTALLED
  rm -f "$LOG" "$TALVO_POLICY_RC"
  [[ -n $policy ]] && printf '#!/bin/sh\nexit 0\n' > "$TALVO_POLICY_RC"
  bash "$root/scripts/install-deps.sh" $args > /dev/null || fail "$name: status $?"
  install=$(grep '^install ' "$LOG" 2>/dev/null)
  if [[ -n $policy ]]; then
    [[ $(tail -n1 "$TALVO_POLICY_RC" 2>/dev/null) == "exit 0" ]] || fail "$name: policy file gone"
  else
    [[ ! -e $TALVO_POLICY_RC ]] || fail "$name: own policy file left behind"
  fi
  if [[ $want_tests == none ]]; then
    [[ -z $install ]] || fail "$name: installed $install"
  else
    [[ $install == *"policy:$want_policy" ]] || fail "$name: policy in force: $install"
    [[ $install == *" qt6-base-dev "* ]] || fail "$name: no qt6-base-dev in $install"
    for p in "${test_only[@]}"; do
      [[ $install == *" $p "* ]] && has=yes || has=no
      [[ $has == "$want_tests" ]] || fail "$name: $p installed: $has"
    done
  fi
  grep -q "^npm install .* adif-parser-ts@0.7.7$" "$LOG" 2>/dev/null && has=yes || has=no
  [[ $has == "$want_reader" ]] || fail "$name: reader installed: $has"
done

out=$(timeout 10 bash "$root/tests/logbook/adif-reader.sh" "$tmp/node" /dev/null 2>&1) &&
  fail "the reader's script ran without the reader"
[[ $out == *adif-parser-ts*"bash scripts/install-deps.sh --tests"* ]] || fail "reader missing: $out"
exit $failed
