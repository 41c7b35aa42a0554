#!/usr/bin/env bash
# Builds the playground into web/dist, or into the directory given: the programs' code as one
# WebAssembly module (Debian's emscripten, through CMake), the page's script and its worker
# bundled by esbuild from the npm packages in web/node_modules (installed from the lock file
# when missing), the page, and the shipped examples. Serve the directory with any static server.
set -euo pipefail
web="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$web")"
dist="$(mkdir -p "${1:-$web/dist}" && cd "${1:-$web/dist}" && pwd)"
build="${WENDRIX_WEB_BUILD:-$root/build-web}"

# Debian's emscripten runs its own JavaScript tools with node, which finds Debian's node
# packages (acorn) only when told where they are.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"

if [ ! -x "$web/node_modules/.bin/esbuild" ]; then
  (cd "$web" && npm ci --no-audit --no-fund)
fi
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWENDRIX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target wendrix-web

cp "$build/wendrix-web.js" "$build/wendrix-web.wasm" "$web/index.html" "$web/style.css" "$dist/"
esbuild="$web/node_modules/.bin/esbuild"
"$esbuild" "$web/src/main.js" --bundle --minify --format=iife --log-level=warning --outfile="$dist/main.js"
"$esbuild" "$web/src/worker.js" --bundle --minify --format=iife --log-level=warning --outfile="$dist/worker.js"
node "$web/src/examples.mjs" "$root/examples" > "$dist/examples.json"
echo "playground built in $dist"
