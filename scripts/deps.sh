#!/usr/bin/env bash
# Installs the Debian packages that building and testing Trilette need, when any is missing.
# Usage: scripts/deps.sh [--fuzz | --bench]   (--fuzz adds clang and its sanitizer runtimes,
# --bench Google Benchmark and GNU time)
set -euo pipefail

packages=(g++ make cmake qtbase5-dev qtbase5-dev-tools qttranslations5-l10n)
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
  --bench) packages+=(libbenchmark-dev time) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installation des paquets manquants : ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
