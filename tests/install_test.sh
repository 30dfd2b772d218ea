#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop finds
# there and that the manual pages read cleanly; also checks that the committed
# Windows icon is the one the icon source draws.
set -euo pipefail
build=$1
source_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/boska bin/boska-render share/applications/boska.desktop \
  share/metainfo/net.boska.boska.metainfo.xml share/man/man6/boska.6.gz \
  share/man/man6/boska-render.6.gz share/man/man6/boska-screensaver.6.gz \
  libexec/xscreensaver/boska-screensaver share/xscreensaver/config/boska-screensaver.xml \
  share/applications/screensavers/boska-screensaver.desktop; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
# Each icon is a PNG of its folder's size.
for size in 32 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x$size/apps/boska.png
  [ "$(od -An -tu4 --endian=big -j16 -N8 "$icon" | xargs)" = "$size $size" ] ||
    { echo "not a $size x $size icon: $icon"; exit 1; }
done
for page in "$source_dir"/resources/man/*.6; do
  mandoc -T lint -W warning "$page"
done
desktop-file-validate --no-hints "$prefix/share/applications/boska.desktop" \
  "$prefix/share/applications/screensavers/boska-screensaver.desktop"
grep -qx "Exec=$prefix/libexec/xscreensaver/boska-screensaver --root" \
  "$prefix/share/applications/screensavers/boska-screensaver.desktop"
xmllint --noout "$prefix/share/xscreensaver/config/boska-screensaver.xml"
# Boska has no homepage to name; the build says whether the validator wants
# one (resources/CMakeLists.txt).
wants_homepage=$3
homepage=()
[ "$wants_homepage" = ON ] && homepage=(--override=url-homepage-missing=info)
appstreamcli validate --no-net "${homepage[@]}" \
  "$prefix/share/metainfo/net.boska.boska.metainfo.xml" >/dev/null
grep -qx 'StartupWMClass=boska' "$prefix/share/applications/boska.desktop"
cmp "$build/resources/boska.ico" "$source_dir/resources/boska.ico" ||
  { echo "resources/boska.ico is out of date: copy $build/resources/boska.ico over it"; exit 1; }
echo "installed files valid"
