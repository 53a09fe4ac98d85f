# Stored passwords are XORed with a pseudo-random stream started from a seed that each program
# fixes (the server 2958, the client 3716). Usage (after sourcing): scramble TEXT SEED
scramble() {
  local text=$1 state=$2 out="" i c r
  for ((i = 0; i < ${#text}; i++)); do
    printf -v c '%d' "'${text:i:1}"
    state=$(((state * 134775813 + 1) & 0xFFFFFFFF))
    r=$(((state >> 25) | 128))
    out+=$(printf '\\x%02x' $((c ^ r)))
  done
  printf '%b' "$out"
}
