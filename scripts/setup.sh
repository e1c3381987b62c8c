#!/usr/bin/env bash
# Installs every Debian package Quendra needs to build, test and run.
# Non-interactive and idempotent: packages already present are skipped.
set -euo pipefail

packages=(
  # toolchain and build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
  # layering check, formatting and lint (scripts/check-deps.py, format.sh, lint.sh)
  python3 clang-format clang-tidy
  # window and tests
  qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps x11-utils xdotool imagemagick
  # voice engine: codecs, sound devices, filters; test tools
  libgsm1-dev portaudio19-dev libspeexdsp-dev tshark sox jackd2
  # IAX2 authentication digests (MD5, SHA-1)
  libssl-dev
  # Do-Not-Call database access and the test database
  unixodbc unixodbc-dev odbc-mariadb tdsodbc mariadb-server mariadb-client
  # the Debian package and its checks
  file lintian desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  # tshark asks whether non-root users may capture; answer no without a prompt.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | "${sudo_cmd[@]}" debconf-set-selections
  echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo_cmd[@]}" debconf-set-selections
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Register the ODBC driver names the Do-Not-Call connection strings use.
if [ -x "$(dirname "$0")/../packaging/register-odbc-drivers.sh" ]; then
  "$(dirname "$0")/../packaging/register-odbc-drivers.sh"
fi
