#!/bin/sh
# Installs into a scratch prefix and assembles the installed example with the installed program.
set -eu
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/wendrix bin/wendrix-lint bin/wendrix-dis share/man/man1/wendrix.1 \
  share/man/man1/wendrix-lint.1 share/man/man1/wendrix-dis.1 share/doc/wendrix/language.md \
  share/doc/wendrix/dis.md; do test -s "$prefix/$f"; done
# Only the example's own files, never outputs left by a run in the source tree.
test "$(ls "$prefix/share/wendrix/examples" | tr '\n' ' ')" = "blink.asm counter inst.dat pages.asm ports.inc "
test "$(ls "$prefix/share/wendrix/examples/counter" | tr '\n' ' ')" = "counter.asm inst.dat regs.inc table.inc "
mkdir "$prefix/work"
cp "$prefix/share/wendrix/examples/"*.* "$prefix/work/"
cd "$prefix/work"
"$prefix/bin/wendrix" blink.asm | tail -n 1 | grep -qx "Done."
test "$(wc -l < blink.hex)" -eq 130
"$prefix/bin/wendrix-lint" blink.asm | tail -n 1 | grep -qx "wendrix-lint: 0 errors, 0 warnings, 0 notes"
# The installed disassembler reads the hex file back into a source of the same bytes.
"$prefix/bin/wendrix-dis" blink.hex > back.asm
"$prefix/bin/wendrix" back.asm | tail -n 1 | grep -qx "Done."
cmp back.hex blink.hex
# The instruction set beside the program serves a project that has none of its own, also when
# the program is found through PATH (its own path then names no directory).
cp inst.dat "$prefix/bin/inst.dat"
rm inst.dat
PATH="$prefix/bin:$PATH" wendrix blink.asm | tail -n 1 | grep -qx "Done."
echo "install layout ok"
