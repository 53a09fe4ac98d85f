#!/usr/bin/env bash
# Reads an ADIF file with an independent parser, adif-parser-ts, and prints every field of every
# record as "record<TAB>field<TAB>value", the header's fields as record "H". Bytes are Latin-1
# both ways. The test command's install step (scripts/install-deps.sh --tests) puts the parser
# into NODE_FOLDER; the tests never fetch it themselves.
# Usage: adif-reader.sh NODE_FOLDER FILE
set -euo pipefail
dir=$1
file=$2
if [[ ! -f $dir/node_modules/adif-parser-ts/package.json ]] || ! command -v node >/dev/null; then
  echo "adif-reader: the independent ADIF reader adif-parser-ts is not installed in $dir" \
    "(or node is missing); install it with: bash scripts/install-deps.sh --tests" >&2
  exit 1
fi
NODE_PATH="$dir/node_modules" node -e '
const { AdifParser } = require("adif-parser-ts");
const text = require("fs").readFileSync(process.argv[1], "latin1");
const adif = AdifParser.parseAdi(text);
let out = "";
for (const [k, v] of Object.entries(adif.header || {})) out += "H\t" + k + "\t" + v + "\n";
(adif.records || []).forEach((r, i) => {
  for (const [k, v] of Object.entries(r)) out += i + "\t" + k + "\t" + v + "\n";
});
process.stdout.write(Buffer.from(out, "latin1"));
' "$file"
