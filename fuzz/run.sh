#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for FUZZ_SECONDS (default 60) on its corpus, seeded from the examples and fuzz/seeds.
# FUZZ_SMALL_BLOCKS=ON (the default) builds every block store a few elements, so that the inputs
# cross the ends of blocks; OFF fuzzes the blocks a release build has.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWENDRIX_TESTS=OFF -DWENDRIX_FUZZ=ON -DWENDRIX_SANITIZE=address,undefined \
  -DWENDRIX_SMALL_BLOCKS="${FUZZ_SMALL_BLOCKS:-ON}" >/dev/null
targets="fuzz_assembler fuzz_expression fuzz_pass2 fuzz_disassembler"
# The language server's reader, when nlohmann-json is there to build it.
if grep -q '^nlohmann_json_DIR:PATH=/' "$build/CMakeCache.txt"; then
  targets="$targets fuzz_lsp fuzz_lsp_session"
fi
cmake --build "$build" -j2 --target $targets

# Seeds: the example programs (with and without their instruction set) and operand texts.
mkdir -p "$build/corpus/assembler" "$build/corpus/expression" "$build/corpus/pass2"
for f in examples/*.asm fuzz/seeds/*.asm; do
  [ -e "$f" ] || continue
  cp "$f" "$build/corpus/assembler/$(basename "$f").src"
  { cat examples/inst.dat; printf '%%%%\n'; cat "$f"; } > "$build/corpus/assembler/$(basename "$f").both"
done
cp "$build"/corpus/assembler/* "$build/corpus/pass2/"
# The disassembler's: an instruction set, then words (two bytes each, low byte first).
mkdir -p "$build/corpus/disassembler"
for isa in examples/inst.dat examples/counter/inst.dat; do
  { cat "$isa"; printf '\n%%%%\n'; head -c 256 examples/blink.asm; } \
    > "$build/corpus/disassembler/$(basename "$(dirname "$isa")")"
done
for e in "(a+1)*-b" "8-4-2" "H'1F'+\$10<<2" "x + DSTART" "-2147483648/-1" "((5))" "1)+(2" "~-~x%0"; do
  printf '%s' "$e" > "$build/corpus/expression/$(printf '%s' "$e" | md5sum | cut -c1-12)"
done

status=0
mkdir -p "$build/corpus/lsp"
printf 'Content-Length: 52\r\n\r\n{"jsonrpc":"2.0","id":1,"method":"initialize","params":{}}' \
  > "$build/corpus/lsp/initialize"
printf 'Content-Length: 3\r\n\r\n{}}Content-Type: x\r\n\r\n' > "$build/corpus/lsp/broken"
# Sessions: the counter example's instruction set, its program, one include file, then messages.
mkdir -p "$build/corpus/lsp_session"
{ cat examples/counter/inst.dat; printf '\n%%%%\n'; cat examples/counter/counter.asm
  printf '\n%%%%\n'; cat examples/counter/regs.inc; printf '\n%%%%\n'
  printf '\000\005\006\001\010\003\102\000\000\006\001\001\004\000\000\011\040\060'
} > "$build/corpus/lsp_session/counter"
for target in $targets; do
  corpus="$build/corpus/${target#fuzz_}"
  echo "== $target for ${seconds}s"
  # -rss_limit_mb and -timeout turn leaks and hangs into failures.
  "$build/$target" "$corpus" -dict=fuzz/wendrix.dict -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/" 2>&1 | tail -n 12 || status=1
done
exit $status
