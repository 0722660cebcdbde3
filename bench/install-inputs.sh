#!/usr/bin/env bash
# Installs the files the benchmarks read (real pictures from Debian packages). Building the
# benchmarks does not need them; a benchmark whose input is missing says which package holds it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
ensure_packages "${bench_packages[@]}"
