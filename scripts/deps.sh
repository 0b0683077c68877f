#!/usr/bin/env bash
# Installs the Debian packages that building and testing Trilette need, when any is missing.
# Usage: scripts/deps.sh [--fuzz | --bench | --format]   (--fuzz adds clang and its sanitizer
# runtimes, --bench Google Benchmark and GNU time, --format clang-format)
# TRILETTE_NO_INSTALL=1 only lists what is missing, for machines where apt cannot run (no root):
# the build then says what it lacks.
set -euo pipefail

packages=(g++ make cmake qtbase5-dev qtbase5-dev-tools libpugixml-dev qttranslations5-l10n
  libxml2-utils)
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-14-dev) ;;
  --bench) packages+=(libbenchmark-dev time) ;;
  --format) packages=(clang-format) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "${TRILETTE_NO_INSTALL:-}" = 1 ]; then
  echo "Paquets manquants, non installés (TRILETTE_NO_INSTALL=1) : ${missing[*]}" >&2
  exit 0
fi
echo "Installation des paquets manquants : ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
