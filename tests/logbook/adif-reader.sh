#!/usr/bin/env bash
# Reads an ADIF file with an independent parser, adif-parser-ts from the npm registry, installed
# once into the folder given (under the build folder), and prints every field of every record
# as "record<TAB>field<TAB>value", the header's fields as record "H". Bytes are Latin-1 both ways.
# Usage: adif-reader.sh NODE_FOLDER FILE
set -euo pipefail
dir=$1
file=$2
mkdir -p "$dir"
(
  flock 9
  if [ ! -f "$dir/node_modules/adif-parser-ts/package.json" ]; then
    cd "$dir" && npm install --no-audit --no-fund --no-save --silent --prefix "$dir" \
      adif-parser-ts@0.7.7 >&2
  fi
) 9>"$dir/.install-lock"
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
