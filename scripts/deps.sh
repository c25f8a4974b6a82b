#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any are missing.
# As root it runs apt-get itself; otherwise it prints the exact command and stops.
#   deps.sh            what `make build` and `make test` need
#   deps.sh aarch64    the cross compiler and emulator of `make test-aarch64`
set -euo pipefail

# clang and its runtime libraries build the fuzzers (libFuzzer, -fsanitize=fuzzer);
# libsndfile, libebur128, CLI11 and ffmpeg serve the studio program and its tests.
packages=(g++ make cmake ninja-build pkg-config libgtest-dev libbenchmark-dev libsdl2-dev libpng-dev
          clang libclang-rt-14-dev libasound2-dev libsndfile1-dev libebur128-dev libcli11-dev
          ffmpeg)
if [ "${1:-}" = aarch64 ]; then
    packages=(g++-aarch64-linux-gnu qemu-user)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
