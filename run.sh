#!/usr/bin/env bash
# Installs the packages the editor needs, builds the Release program and starts it with the
# files given.
set -euo pipefail
files=()
for f in "$@"; do
  if [ -e "$f" ]; then files+=("$(realpath -- "$f")"); else files+=("$f"); fi
done
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUAR_TESTS=OFF >/dev/null
cmake --build build/release --target quarnel
exec build/release/app/quarnel "${files[@]}"
