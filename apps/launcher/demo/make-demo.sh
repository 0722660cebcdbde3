#!/usr/bin/env bash
# Lays out the demo install folder: the launcher and the stand-in game beside a data folder with
# the catalogues, the GPU table and the bench replay, the FAQ pages and the description of a
# made-up graphics adapter.
#
#   make-demo.sh <BrisaldeLauncher> <game stand-in> <demo folder>
#
# A second run refreshes the programs and every file made from this folder, and keeps what the
# demo's runs made or changed: the configuration file, the registry folder, the stand-in's
# behaviour file and its log, as an installed game keeps the player's files.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 <BrisaldeLauncher> <game stand-in> <demo folder>" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
launcher=$1
standin=$2
demo=$3

# The demo adapter's ids: made up, so that no vendor rule applies to them. The adapter
# description and the GPU table's row are both made from them: the launcher finds the row and
# runs no first-start bench, and the stand-in's own bench writes the same row.
vendor=5A5A
device=0DE0

mkdir -p "$demo/GameData/Translations" "$demo/GameData/Tracks/Replays" "$demo/registry"

# The programs: the launcher's folder is the install folder; the game is "Brisalde".
install -m 0755 "$launcher" "$demo/BrisaldeLauncher"
install -m 0755 "$standin" "$demo/Brisalde"

# The catalogues, checked by msgfmt as they are made.
for po in "$here"/*.po; do
  msgfmt --check -o "$demo/GameData/Translations/$(basename "$po" .po).mo" "$po"
done

install -m 0644 "$here"/TechnicalFaq_*.html "$demo/"

cat >"$demo/GfxAdapter.txt" <<EOF
# The demo's graphics adapter (made-up ids).
present = 1
vendor = 0x$vendor
device = 0x$device
driver = 6.14.10.100
description = Demo Adapter
desktop = 1280x1024x32@60
modes.X8R8G8B8 = 640x480@60 640x480@75 800x600@60 800x600@75 1024x768@60 1024x768@75 1280x1024@60
modes.R5G6B5 = 640x480@60 800x600@60 1024x768@60 1280x1024@60
ps = 2.0
vs = 2.0
hwtnl = 1
projected = 1
maxaniso = 8
multisample = 2 4
textures = DXT1 DXT3 DXT5
vram = 128M
nonlocal = 256M
EOF

printf '1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20\r\n%s %s 100 400 380 340 280 220 300 420 260\r\n' \
  "$vendor" "$device" >"$demo/GameData/GfxDevicePerfs.txt"

# The bench dialog needs the replay to exist; the stand-in never reads it.
replay="$demo/GameData/Tracks/Replays/Bench.Replay.Zun"
[ -e "$replay" ] || printf 'demo replay\n' >"$replay"

if [ ! -e "$demo/GameStandin.txt" ]; then
  cat >"$demo/GameStandin.txt" <<EOF
# How the stand-in game behaves when the launcher starts it (see apps/game-standin/main.cpp).
gpu_vendor = 0x$vendor
gpu_device = 0x$device
# The frame rate its benches report (made up).
fps = 61.27
EOF
fi

# The installed version, as an installer would leave it.
registry="$demo/registry/Software/Vorel/Brisalde.reg"
if [ ! -e "$registry" ]; then
  mkdir -p "$(dirname "$registry")"
  printf '[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n"Version"="0.0.1.0"\n' >"$registry"
fi
