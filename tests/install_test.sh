#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop finds
# there; also checks that the committed Windows icon is the one the icon
# source draws.
set -euo pipefail
build=$1
source_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/boska bin/boska-render share/applications/boska.desktop \
  share/metainfo/net.boska.boska.metainfo.xml share/icons/hicolor/32x32/apps/boska.png; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/boska.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/net.boska.boska.metainfo.xml" >/dev/null
grep -qx 'StartupWMClass=boska' "$prefix/share/applications/boska.desktop"
cmp "$build/resources/boska.ico" "$source_dir/resources/boska.ico" ||
  { echo "resources/boska.ico is out of date: copy $build/resources/boska.ico over it"; exit 1; }
echo "installed files valid"
