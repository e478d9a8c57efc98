#!/usr/bin/env bash
# The portable folder on a fresh minimal Debian 12 that has a desktop's base
# and nothing of Qt: a debootstrap chroot (kept in build/portable-chroot,
# made again when the packages asked for change), used by a user without
# root. Xvfb and Weston run outside it; their sockets lie inside it. The
# user unpacks the folder, starts brennel in a copy of the demo mod on X11
# (the buttons pressed, the files followed) and on Wayland, runs
# brennel-check, installs for the file manager, opens a list with
# `gio open` and removes the install again; ldd then resolves every file of
# the folder in the chroot. One PASS: or FAIL: line per check.
# Usage: check_portable.sh DIST_DIR   (as root; needs debootstrap, Xvfb,
# xdotool, python3 and weston)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$1")
name=Brennel-1.00-linux-x86_64
tarball=$dist/$name.tar.gz
base=$root/build/portable-chroot
packages=libx11-6,libxcb1,libfontconfig1,fonts-dejavu-core,libgl1,libegl1,libopengl0,libglib2.0-bin,shared-mime-info,desktop-file-utils
# shellcheck source=../../tools/window_driver.sh
. "$root/tools/window_driver.sh"

failed=0
check() {
  local what=$1
  shift
  if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi
}

mounted() { grep -q " $base/" /proc/mounts; }
if [ ! -f "$base/.packages" ] || [ "$(cat "$base/.packages")" != "$packages" ]; then
  mounted && { echo "FAIL: $base has mounts left; unmount them first"; exit 1; }
  rm -rf "$base" "$base.new"
  echo "Making the chroot in $base (debootstrap bookworm, minbase)"
  debootstrap --variant=minbase --include="$packages" bookworm "$base.new" \
    http://deb.debian.org/debian >"$base.log" 2>&1 || { echo "FAIL: debootstrap (log: $base.log)"; exit 1; }
  chroot "$base.new" useradd --create-home --shell /bin/sh player
  echo "$packages" >"$base.new/.packages"
  mv "$base.new" "$base"
fi

uid=$(chroot "$base" id -u player)
home=$base/home/player
# As the user sees it; the desktop entry must quote its spaces, quotes and dollar.
games='/home/player/My "Games" $1'
bundle_in=$games/$name
bundle=$base$bundle_in
mods=$home/mods
work=$(mktemp -d)
xvfb_pid="" weston_pid="" started=()
cleanup() {
  local pid
  for pid in "${started[@]}" $weston_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  umount "$base/tmp/.X11-unix" "$base/dev" "$base/proc" 2>/dev/null || true
  rm -rf "$work" "$base/run/brennel-wayland"
}
trap cleanup EXIT

# A fresh home and runtime folder for each run; the chroot itself stays.
rm -rf "$home" "$base/run/user/$uid" "$base/tmp/$name.tar.gz"
install -d -o "$uid" -g "$uid" "$home" "$home/.cache"  # as a desktop's home has it
install -d -m 700 -o "$uid" -g "$uid" "$base/run/user/$uid"
mount -t proc proc "$base/proc"
mount --bind /dev "$base/dev"
mkdir -p "$base/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$base/tmp/.X11-unix"
install -m 644 "$tarball" "$base/tmp/"
rm -rf "$base/tmp/examples"
cp -R "$root/examples" "$base/tmp/examples"

# A command in the chroot as the user, in a desktop session's environment;
# VAR=VALUE arguments before the command are added to it. in_folder runs
# it in a folder; start_in_folder in the background, with $pid the
# program's own (each step execs the next).
player=(chroot --userspec="$uid:$uid" --groups="$uid" "$base" /usr/bin/env -i HOME=/home/player
  USER=player LOGNAME=player PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8
  XDG_RUNTIME_DIR="/run/user/$uid")
in_the_folder=(sh -c 'cd "$1" && shift && exec env "$@"' -)
as_player() { "${player[@]}" "$@"; }
in_folder() { "${player[@]}" "${in_the_folder[@]}" "$@"; }
start_in_folder() {
  "${player[@]}" "${in_the_folder[@]}" "$@" &
  pid=$!
  started+=("$pid")
}

# What is in the home folder but the mods: names, types, modes, contents.
# Not fontconfig's cache, which the system's library writes for any program
# when the system has no cache of its fonts (this chroot has no fc-cache).
snapshot() {
  (cd "$home" && find . \( -path ./mods -o -path ./.cache/fontconfig \) -prune -o -printf '%y %m %p\n' |
    sort && find . \( -path ./mods -o -path ./.cache/fontconfig \) -prune -o -type f -print0 |
    sort -z | xargs -0 -r md5sum)
}

# The demo mod's five files: each under the name that ends in .off
# (inactive), or none (active).
mod_is() {
  local files off
  files=$(find "$1/Data" -type f | wc -l)
  off=$(find "$1/Data" -type f -name '*.off' | wc -l)
  [ "$files" -eq 5 ] && if [ "$2" = active ]; then [ "$off" -eq 0 ]; else [ "$off" -eq 5 ]; fi
}

# Every library of a bundle's file mapped into process $1 is the bundle's.
loads_bundled_copies() {
  local path file
  while read -r path; do
    file=${path##*/}
    case $path in "$bundle"/* | "$bundle_in"/*) continue ;; esac
    if [ -e "$bundle/lib/$file" ] || [ -n "$(find "$bundle/plugins" -name "$file")" ]; then
      echo "  $path is the system's, not the folder's"
      return 1
    fi
  done < <(sed -E -n 's/^([^ ]+ +){5}(.*\.so[.0-9]*)$/\2/p' "/proc/$1/maps" | sort -u)
  grep -q "$bundle/plugins/platforms/$2" "/proc/$1/maps" || {
    echo "  no platform plugin $2 from the folder"
    return 1
  }
}

echo "== the chroot and the folder"
no_qt_no_dev() {
  ! chroot "$base" dpkg-query -W -f '${Package}\n' | grep -E '^(qt6-|libqt6)|-dev$'
}
check "the chroot has a desktop's base and no Qt or development package" no_qt_no_dev
unpack() {
  as_player mkdir -p "$games" && as_player tar -xzf "/tmp/$name.tar.gz" -C "$games" &&
    [ -x "$bundle/brennel" ]
}
check "a user without root unpacks the folder" unpack
as_player mkdir /home/player/mods
as_player cp -R /tmp/examples /home/player/mods/demo
as_player cp -R /tmp/examples "/home/player/mods/demo, opened"
check_reads_the_demo() {
  local out
  out=$(in_folder /home/player/mods/demo "$bundle_in/brennel-check") || return 1
  [[ $out == "State: inactive:"* ]]
}
check "brennel-check in the demo mod: inactive, status 0" check_reads_the_demo

echo "== X11"
start_xvfb || { echo "FAIL: Xvfb starts"; exit 1; }
before=$(snapshot)
x11_window() {
  start_in_folder /home/player/mods/demo "DISPLAY=$DISPLAY" "$bundle_in/brennel"
  window=$(window_named "Tavrik Brennel")
}
pid="" window=""
check "brennel opens its window on X11" x11_window
if [ -n "$window" ]; then
  check "every library of the folder is loaded from it; the platform is xcb" \
    loads_bundled_copies "$pid" libqxcb.so
  activate() { click_button "$window" Activate && wait_for mod_is "$mods/demo" active; }
  deactivate() { click_button "$window" Deactivate && wait_for mod_is "$mods/demo" inactive; }
  wait_for() { for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done; return 1; }
  check "Activate renames the demo mod's files into place" activate
  check "Deactivate renames them back" deactivate
  closes() { close_window "$window" && wait "$pid"; }
  check "closing the window ends brennel with status 0" closes
fi
# Prints what differs from the snapshot $1 (none: succeeds).
unchanged_since() {
  local changes
  changes=$(diff <(echo "$1") <(snapshot) | sed -n 's/^[<>]/ &/p')
  [ -z "$changes" ] || { echo "$changes"; return 1; }
}
check "brennel wrote nothing in the home folder" unchanged_since "$before"

echo "== Wayland"
wayland=$base/run/brennel-wayland
install -d -m 755 "$wayland"
XDG_RUNTIME_DIR=$wayland weston --backend=headless-backend.so --socket=wayland-0 --idle-time=0 \
  --log="$work/weston.log" &
weston_pid=$!
wayland_window() {
  local log=$work/wayland.log
  for _ in $(seq 600); do [ -S "$wayland/wayland-0" ] && break; sleep 0.1; done
  chmod 666 "$wayland/wayland-0" || return 1
  start_in_folder /home/player/mods/demo WAYLAND_DISPLAY=/run/brennel-wayland/wayland-0 \
    XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client "$bundle_in/brennel" 2>"$log"
  # The title set, then the window's first frame handed to the compositor.
  for _ in $(seq 600); do
    grep -q 'set_title("Tavrik Brennel")' "$log" && grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$log" &&
      return 0
    sleep 0.1
  done
  return 1
}
check "brennel opens its window on Wayland" wayland_window
check "every library of the folder is loaded from it; the platform is Wayland" \
  loads_bundled_copies "$pid" libqwayland-
kill "$pid" 2>/dev/null || true

echo "== the file manager"
before=$(snapshot)
check "install-for-me, without root" in_folder /home/player "$bundle_in/install-for-me"
check "the desktop entry it installed is valid" \
  as_player desktop-file-validate /home/player/.local/share/applications/org.tavrik.Brennel.desktop
list_type() {
  as_player gio info -a standard::content-type "/home/player/mods/demo, opened/Tavrik.mla" |
    grep -q 'content-type: application/x-tavrik-list'
}
check "Tavrik.mla is a mod list to the desktop" list_type
gio_opens() {
  local mod="$mods/demo, opened"
  in_folder / "DISPLAY=$DISPLAY" gio open "/home/player/mods/demo, opened/Tavrik.mla" || return 1
  window=$(window_named "Tavrik Brennel") || return 1
  click_button "$window" Activate
  wait_for mod_is "$mod" active && mod_is "$mods/demo" inactive || return 1
  close_window "$window" && window_gone "Tavrik Brennel"
}
check "gio open Tavrik.mla starts Brennel in that list's folder (Activate renames there)" gio_opens
removes() {
  in_folder /home/player "$bundle_in/install-for-me" --remove >/dev/null &&
    unchanged_since "$before"
}
check "install-for-me --remove leaves the home folder as it was" removes

echo "== ldd in the chroot"
mapfile -t system < <(grep -v -e '^#' -e '^$' "$root/resources/linux/portable/system-libraries")
# For every ELF file of the folder, each library it needs (from objdump,
# outside) must be resolved by ldd (inside) in the folder or be on the
# system list; nothing on that list may be in the folder.
resolved_as_named() {
  local file needed where ok=0 list=" ${system[*]} "
  for file in "$bundle"/brennel "$bundle"/brennel-check "$bundle"/lib/* "$bundle"/plugins/*/*.so; do
    as_player ldd "${file#"$base"}" >"$work/ldd" || { echo "  ldd failed on $file"; ok=1; continue; }
    if grep -q 'not found' "$work/ldd"; then
      echo "  ${file#"$bundle"/}: $(grep 'not found' "$work/ldd" | tr -s '\t\n' '  ')"
      ok=1
    fi
    for needed in $(objdump -p "$file" | awk '$1 == "NEEDED" { print $2 }'); do
      where=$(sed -n "s|^\t$needed => \(.*\) (0x[0-9a-f]*)\$|\1|p" "$work/ldd")
      [ -z "$where" ] || where=$(realpath -m -s "$where")  # $ORIGIN/../../lib, as written
      [[ $where == "$bundle_in/lib/$needed" ]] && [[ $list != *" $needed "* ]] && continue
      [[ $list == *" $needed "* && $where != "$bundle_in"/* ]] && continue
      echo "  ${file#"$bundle"/} needs $needed, found at ${where:-nowhere}"
      ok=1
    done
  done
  return "$ok"
}
check "ldd: every library found; the folder's own, or the system list's from the system" \
  resolved_as_named
echo "  $(find "$bundle" -type f | wc -l) files, $(du -sm "$bundle" | cut -f1) MB unpacked," \
  "$(($(stat -c %s "$tarball") / 1000000)) MB compressed"
exit "$failed"
