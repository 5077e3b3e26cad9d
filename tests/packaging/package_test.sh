#!/usr/bin/env bash
# Builds the Debian packages from the build tree into a temporary folder, checks what each one
# declares and holds, unpacks them into a temporary root and runs the tools from there.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -B "$work/packages" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
debs=$(cd "$work/packages" && ls ./*.deb | sed 's|^\./||; s|_.*||' | sort | tr '\n' ' ')
[[ "$debs" == "galdera-sim libcomlux-dev libcomlux1 sequora " ]] || fail "packages made: $debs"

deb() { ls "$work/packages/$1"_*.deb; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
for package in sequora galdera-sim libcomlux1 libcomlux-dev; do
    [[ "$(field "$package" Section)" == science ]] || fail "$package is not in section science"
done
# Dependencies were computed from the executables and the library.
for package in sequora galdera-sim libcomlux1; do
    field "$package" Depends | grep -q 'libc6 (>=' || fail "$package: no computed dependencies"
done
field sequora Depends | grep -q 'libqt6widgets6' || fail "sequora does not depend on Qt Widgets"
field sequora Depends | grep -q 'libcomlux1 (= ' || fail "sequora does not depend on libcomlux1"
field libcomlux-dev Depends | grep -q 'libcomlux1 (= ' || fail "libcomlux-dev does not depend on libcomlux1"
dpkg-deb --ctrl-tarfile "$(deb libcomlux1)" | tar -xO ./shlibs | grep -q '^libcomlux 1 libcomlux1' ||
    fail "libcomlux1 declares no shlibs entry for libcomlux.so.1"

# No file in two packages: they could not be installed together.
for package in sequora galdera-sim libcomlux1 libcomlux-dev; do
    dpkg-deb -c "$(deb "$package")" | awk '$1 !~ /^d/ {print $6}'
done | sort | uniq -d >"$work/twice"
[[ ! -s "$work/twice" ]] || fail "files in more than one package: $(cat "$work/twice")"

root=$work/root
for package in sequora galdera-sim libcomlux1 libcomlux-dev; do dpkg-deb -x "$(deb "$package")" "$root"; done
bin=$root/usr/bin
for tool in sequora sequora-run comlux-record galdera-sim; do
    [[ -x "$bin/$tool" ]] || fail "$tool is not in /usr/bin"
done
"$bin/sequora-run" --help >"$work/help" 2>&1 || fail "sequora-run --help: $(cat "$work/help")"
grep -q 'sequora-run' "$work/help" || fail "sequora-run --help says: $(cat "$work/help")"
"$bin/comlux-record" --help >"$work/help" 2>&1 || fail "comlux-record --help: $(cat "$work/help")"
grep -q 'comlux-record' "$work/help" || fail "comlux-record --help says: $(cat "$work/help")"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$bin/sequora" --screenshot "$work/window.png" \
    >"$work/shot.log" 2>&1 || fail "sequora --screenshot: $(cat "$work/shot.log")"
file "$work/window.png" | grep -q 'PNG image data' || fail "sequora --screenshot wrote no picture"

share=$root/usr/share
desktop-file-validate "$share/applications/sequora.desktop" || fail "the desktop entry is not valid"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$share/applications/sequora.desktop")
[[ -x "$bin/$exec_name" ]] || fail "the desktop entry starts '$exec_name', which is not installed"
file "$share/icons/hicolor/32x32/apps/sequora.png" | grep -q 'PNG image data, 32 x 32' ||
    fail "no 32x32 icon in the hicolor theme"
mkdir -p "$work/mime/packages"
cp "$share/mime/packages/sequora.xml" "$work/mime/packages/"
update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || fail "the MIME entry: $(cat "$work/mime.log")"
grep -q '^application/x-sequora-item-list:\*\.cfg$' <(cut -d: -f2- "$work/mime/globs2") ||
    fail "the MIME database does not map *.cfg to Sequora item lists"
grep -q 'MimeType=application/x-sequora-item-list;' "$share/applications/sequora.desktop" ||
    fail "the desktop entry does not open Sequora item lists"
for page in sequora-run comlux-record galdera-sim; do
    zcat "$share/man/man1/$page.1.gz" | grep -q '^\.SH NAME' || fail "no man page for $page"
done

echo "packages: $debs- unpacked, tools run, desktop entry, icon, MIME type and man pages in place"
