#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian 12),
# and the further packages named as arguments; --windows stands for what the
# Windows lane needs (mingw-w64, Wine, Xvfb, xdotool, screenshots).
set -euo pipefail

extra=()
for a in "$@"; do
    if [ "$a" = --windows ]; then
        extra+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64)
    else
        extra+=("$a")
    fi
done
# The graphical front end: wxWidgets on GTK 3, a Latin and a Japanese font;
# its end-to-end test and screenshots: Xvfb, xdotool, xwd, netpbm and a small
# window manager that draws the captions; srecord's srec_cat, which a test of
# refirm-image compares its layout with.
packages=(g++ cmake ninja-build libgtest-dev libgmock-dev clang-format python3 clang libclang-rt-14-dev
    libwxgtk3.2-dev fonts-liberation2 fonts-ipafont-gothic xvfb xdotool x11-apps netpbm openbox srecord
    ${extra[@]+"${extra[@]}"})
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
