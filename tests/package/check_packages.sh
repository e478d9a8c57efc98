#!/usr/bin/env bash
# Checks the packages tools/package built: the .deb with Debian's and
# freedesktop's validators and by what it installs, a mod's list opened as
# a file manager opens it, the Windows zip's contents, and its .exe under
# wine (the smoke test).
# Usage: check_packages.sh DIST_DIR WINDOWS_BUILD_DIR
# (WINDOWS_BUILD_DIR: the windows preset's build, for its layout probe and
# wine prefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$1")
windows_build=$(realpath "$2")
deb=$dist/brennel_1.00_amd64.deb
zip=$dist/Brennel-1.00-win64.zip
id=org.tavrik.Brennel
work=$(mktemp -d)
stage=$work/stage
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../../tools/window_driver.sh
. "$root/tools/window_driver.sh"

failed=0
check() {
  local name=$1
  shift
  if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failed=1; fi
}

dependencies_are_runtime_only() {
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "  Depends: $depends"
  [[ $depends == *libqt6widgets6* && $depends != *-dev* ]] &&
    [ "$(dpkg-deb -f "$deb" Recommends)" = qt6-wayland ]
}

icons_are_drawn_at_every_size() {
  local size
  for size in 16 24 32 48 64 128 256; do
    file "$stage/usr/share/icons/hicolor/${size}x$size/apps/$id.png" |
      grep -q "PNG image data, $size x $size," || return 1
  done
}

# The type of a file named $1, as the desktop sees it with the package's
# MIME type added.
content_type() {
  printf 'Data\\a.dds,Data\\b.dds\r\n' >"$work/names/$1"  # an empty file would be x-zerosize
  gio info -a standard::content-type "$work/names/$1" | sed -n 's/.*content-type: //p'
}

lists_in_any_case_and_only_they_are_mod_lists() {
  local name
  mkdir -p "$work/names"
  for name in Tavrik.mla Tavrik.mld tavrik.MLA TAVRIK.MLD; do
    [ "$(content_type "$name")" = application/x-tavrik-list ] || return 1
  done
  for name in other.mla Tavrik.mla.txt; do
    [ "$(content_type "$name")" != application/x-tavrik-list ] || return 1
  done
}

entry_starts_the_installed_launcher() {
  grep -qx 'Exec=/usr/libexec/brennel/brennel-open %f' "$stage/usr/share/applications/$id.desktop" &&
    [ -x "$stage/usr/libexec/brennel/brennel-open" ]
}

# Opens a list with `gio open`, as a file manager does, from another folder:
# Activate must rename in the list's folder.
opening_a_list_starts_brennel_in_its_folder() {
  local mod=$work/mod window box
  mkdir -p "$mod/Data"
  printf 'A' >"$mod/Data/a.off"
  printf 'Data/a.off,Data/a\r\nData/gone.off,Data/gone\r\n' >"$mod/Tavrik.mla"
  (cd "$work" && gio open "$mod/Tavrik.mla")
  window=$(window_named "Tavrik Brennel") || return 1
  click_button "$window" Activate
  box=$(window_named Brennel) || return 1
  [ -f "$mod/Data/a" ] && [ ! -e "$mod/Data/a.off" ] || return 1
  press_return_in "$box"
  window_gone Brennel || return 1
  close_window "$window"
  window_gone "Tavrik Brennel"
}

zip_holds_the_exe_and_a_crlf_readme() {
  [ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "Brennel.exe README.txt brennel-check.exe " ] ||
    return 1
  unzip -q -d "$work/zip" "$zip"
  local lines crlf
  lines=$(wc -l <"$work/zip/README.txt")
  crlf=$(grep -c $'\r$' "$work/zip/README.txt")
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] && grep -q Brennel.exe "$work/zip/README.txt"
}

# The installed brennel-check on a whole mod: inactive, Activate would run
# to its end and Deactivate put every file back.
installed_check_reads_a_mod() {
  local mod=$work/check-mod json
  mkdir -p "$mod/Data"
  printf 'A' >"$mod/Data/a.off"
  printf 'Data\\a.off,Data\\a\r\n' | tee "$mod/Tavrik.mla" >"$mod/Tavrik.mld"
  json=$("$stage/usr/bin/brennel-check" --json "$mod") || return 1
  python3 -c 'import json,sys; d=json.loads(sys.argv[1]); sys.exit(d["state"] != "inactive")' "$json" &&
    [ -f "$stage/usr/share/man/man1/brennel-check.1.gz" ] && [ -f "$mod/Data/a.off" ]
}

check_exe_from_the_zip_passes_its_test() {
  export WINEPREFIX=$windows_build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
    LC_ALL=C.UTF-8
  local status=0
  bash "$root/tests/windows/wine_session.sh" start "$WINEPREFIX"
  bash "$root/tests/windows/check_test.sh" "$work/zip/brennel-check.exe" "$root/examples" ||
    status=$?
  bash "$root/tests/windows/wine_session.sh" stop "$WINEPREFIX"
  return "$status"
}

exe_from_the_zip_passes_the_smoke_test() {
  export WINEPREFIX=$windows_build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
    LC_ALL=C.UTF-8
  local status=0
  bash "$root/tests/windows/wine_session.sh" start "$WINEPREFIX"
  bash "$root/tests/windows/smoke_test.sh" "$work/zip/Brennel.exe" \
    "$windows_build/tests/layout_probe.exe" || status=$?
  bash "$root/tests/windows/wine_session.sh" stop "$WINEPREFIX"
  return "$status"
}

echo "== lintian"
check "lintian finds no error or warning" lintian --fail-on error,warning "$deb"
check "dependencies computed from the binary, no -dev package" dependencies_are_runtime_only

dpkg-deb -x "$deb" "$stage"
check "desktop-file-validate" desktop-file-validate "$stage/usr/share/applications/$id.desktop"
check "appstreamcli validate --no-net" \
  appstreamcli validate --no-net "$stage/usr/share/metainfo/$id.metainfo.xml"
check "an icon drawn at every hicolor size" icons_are_drawn_at_every_size
check "the desktop entry starts the installed launcher" entry_starts_the_installed_launcher
check "brennel-check and its manual page are installed, and it reads a mod" \
  installed_check_reads_a_mod

# The desktop as it is once the package is installed, in the staged tree:
# its databases built, and the entry pointed at the staged launcher.
update-mime-database "$stage/usr/share/mime" 2>/dev/null  # not silent about its folder
sed -i "s|^Exec=/usr/|Exec=$stage/usr/|" "$stage/usr/share/applications/$id.desktop"
update-desktop-database "$stage/usr/share/applications"
export XDG_DATA_DIRS=$stage/usr/share:/usr/share XDG_DATA_HOME=$work/home XDG_CONFIG_HOME=$work/home
check "Tavrik.mla and Tavrik.mld, in any case, are mod lists" \
  lists_in_any_case_and_only_they_are_mod_lists
if start_xvfb; then
  check "opening a list starts Brennel in its folder" opening_a_list_starts_brennel_in_its_folder
else
  check "Xvfb starts" false
fi

echo "== Windows zip"
check "the zip holds Brennel.exe, brennel-check.exe and a README.txt with CR LF line ends" \
  zip_holds_the_exe_and_a_crlf_readme
check "the .exe from the zip passes the smoke test" exe_from_the_zip_passes_the_smoke_test
check "brennel-check.exe from the zip passes its test" check_exe_from_the_zip_passes_its_test
exit "$failed"
