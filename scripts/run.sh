#!/usr/bin/env bash
# Installs what is missing, builds Talvo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
echo
echo "Built in build/:"
for f in build/server/TalvoServer build/client/TalvoClient; do
  [[ -x $f ]] && echo "  $f"
done
ls build/*/libtalvo_*.a | sed 's/^/  /'
if [[ -x build/server/TalvoServer ]]; then
  exec build/server/TalvoServer
fi
echo "The programs are not built yet: the libraries above are what exists so far."
