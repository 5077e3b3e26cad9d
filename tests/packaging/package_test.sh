#!/usr/bin/env bash
# Builds the Debian packages as `make package` does (lintian included) into BUILD_DIR, checks
# what each declares, unpacks them into a temporary root and uses them from there: each
# program's --version, the window without a display and off screen, where an installed
# program puts its log, the MIME type on an item list and on other .cfg files, and
# examples/comlux-consumer built against the unpacked library with CMake and with pkg-config.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

work=$(mktemp -d)
sim_pid=""
cleanup() {
    if [[ -n "$sim_pid" ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
source "$(dirname "$0")/consumer-steps.sh"

out=$build/package-test
bash "$source/scripts/package.sh" "$out" >"$work/package.log" 2>&1 ||
    fail "building the packages: $(tail -n 40 "$work/package.log")"
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)

packages="galdera-sim libcomlux-dev libcomlux1 python3-comlux sequora"
debs=$(cd "$out" && ls ./*.deb | sed 's|^\./||; s|_.*||' | grep -v -- '-dbgsym$' | sort | tr '\n' ' ')
[[ "$debs" == "$packages " ]] || fail "packages made: $debs"
deb() { ls "$out/$1_${version}_"*.deb; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
expect_field() {
    [[ "$(field "$1" "$2")" == "$3" ]] || fail "$1: $2 is '$(field "$1" "$2")', not '$3'"
}
expect_field sequora Section science
expect_field galdera-sim Section science
expect_field libcomlux1 Section libs
expect_field libcomlux-dev Section libdevel
expect_field libcomlux1 Multi-Arch same
expect_field libcomlux-dev Multi-Arch same
expect_field python3-comlux Section python
field sequora Depends | grep -q "libcomlux1 (>= $version)" || fail "sequora: $(field sequora Depends)"
field libcomlux-dev Depends | grep -q "libcomlux1 (= $version)" || fail "libcomlux-dev: $(field libcomlux-dev Depends)"
field python3-comlux Depends | grep -q "libcomlux1 (= $version), python3-numpy" ||
    fail "python3-comlux: $(field python3-comlux Depends)"
dpkg-deb --ctrl-tarfile "$(deb libcomlux1)" | tar -xO ./triggers | grep -q '^activate-noawait ldconfig$' ||
    fail "libcomlux1 has no ldconfig trigger"
dpkg-deb --ctrl-tarfile "$(deb libcomlux1)" | tar -xO ./symbols | grep -q '^libcomlux.so.1 libcomlux1 ' ||
    fail "libcomlux1 has no symbols file"

# Installed and purged with dpkg in a root of their own, they leave no file behind.
dpkg_root=$work/dpkg-root
mkdir -p "$dpkg_root/var/lib/dpkg/info" "$dpkg_root/var/lib/dpkg/updates" "$dpkg_root/var/lib/dpkg/triggers"
touch "$dpkg_root/var/lib/dpkg/status" "$dpkg_root/var/lib/dpkg/available"
in_root=(dpkg --root="$dpkg_root" --log=/dev/null --force-depends --force-script-chrootless)
# shellcheck disable=SC2046
"${in_root[@]}" -i $(for package in $packages; do deb "$package"; done) >"$work/dpkg.log" 2>&1 ||
    fail "dpkg -i: $(cat "$work/dpkg.log")"
"${in_root[@]}" --purge $packages >"$work/dpkg.log" 2>&1 || fail "dpkg --purge: $(cat "$work/dpkg.log")"
left=$(cd "$dpkg_root" && find . -not -type d -not -path './var/lib/dpkg/*')
[[ -z "$left" ]] || fail "files left after purging: $left"

root=$work/root
for package in $packages; do dpkg-deb -x "$(deb "$package")" "$root"; done
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
libdir=$root/usr/lib/$multiarch
bin=$root/usr/bin
export LD_LIBRARY_PATH=$libdir
for tool in sequora sequora-run comlux-record galdera-sim; do
    [[ "$("$bin/$tool" --version)" == "$tool $version" ]] || fail "$tool --version says '$("$bin/$tool" --version)'"
    readelf -d "$bin/$tool" | grep -q -e RPATH -e RUNPATH && fail "$tool carries a library search path"
    readelf -d "$bin/$tool" | grep -q 'BIND_NOW' || fail "$tool is not linked with -z now"
done
for tool in sequora sequora-run; do
    readelf -d "$bin/$tool" | grep -q 'NEEDED.*\[libcomlux.so.1\]' || fail "$tool does not use libcomlux.so.1"
done
python_version=$(PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c 'import comlux; print(comlux.__version__)' 2>&1) ||
    true
[[ "$python_version" == "$version" ]] || fail "import comlux from the package: $python_version"

# The window: one line and status 2 without a display; off screen it draws, and as its folder
# is not writable its log goes to the state folder.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/sequora" >"$work/nodisplay" 2>&1 || status=$?
[[ $status -eq 2 && "$(cat "$work/nodisplay")" == \
    "sequora: no display; set DISPLAY or use --screenshot with QT_QPA_PLATFORM=offscreen" ]] ||
    fail "sequora without a display: status $status, $(cat "$work/nodisplay")"
# Root may write anywhere: then the window runs as nobody, for whom the folder is read-only.
chmod a-w "$bin"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 755 "$work"
    mkdir -m 777 "$work/user"
fi
mkdir -p "$work/user"
"${as_user[@]}" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/user" XDG_STATE_HOME="$work/user/state" \
    XDG_CONFIG_HOME="$work/user/config" "$bin/sequora" --screenshot "$work/user/window.png" >"$work/shot.log" 2>&1 ||
    fail "sequora --screenshot: $(cat "$work/shot.log")"
cp "$work/user/window.png" "$work/window.png"
file "$work/window.png" | grep -q 'PNG image data' || fail "sequora --screenshot wrote no picture"
[[ -s "$work/user/state/Sequora/Sequora Comlux Client Log File.txt" ]] || fail "no client log in \$XDG_STATE_HOME/Sequora/"
[[ -z "$(find "$root" -newer "$work/nodisplay" -type f)" ]] || fail "the window wrote into its own tree"

share=$root/usr/share
desktop-file-validate "$share/applications/sequora.desktop" || fail "the desktop entry is not valid"
for page in sequora sequora-run comlux-record galdera-sim; do
    zcat "$share/man/man1/$page.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "the man page of $page"
done

# The MIME type goes by content: a list is one whatever its name, other .cfg files stay text.
mkdir -p "$work/mime/mime/packages" "$work/empty"
cp "$share/mime/packages/sequora.xml" "$work/mime/mime/packages/"
update-mime-database "$work/mime/mime" >"$work/mime.log" 2>&1 || fail "the MIME entry: $(cat "$work/mime.log")"
cp "$source/examples/demo.cfg" "$work/list.cfg"
printf 'set timeout=5\nmenuentry "Debian" {\n\tlinux /vmlinuz root=/dev/sda1\n}\n' >"$work/grub.cfg"
printf '[server]\nname=galdera\nport=26200\n' >"$work/settings.cfg"
mime_type() {
    XDG_DATA_DIRS=$work/mime:/usr/share XDG_DATA_HOME=$work/empty gio info -a standard::content-type "$1" |
        sed -n 's/.*standard::content-type: //p'
}
for case in list.cfg:application/x-sequora-item-list grub.cfg:text/plain settings.cfg:text/plain; do
    [[ "$(mime_type "$work/${case%%:*}")" == "${case#*:}" ]] ||
        fail "${case%%:*} is $(mime_type "$work/${case%%:*}"), not ${case#*:}"
done

# The shared library exports its public classes and functions and nothing else.
# The classes comlux/internal/ defines (not those it only declares).
internal=$(sed -n 's/^\(class\|struct\) \([A-Za-z_]*\)[^;]*$/\2/p' "$source"/comlux/internal/*.h | sort -u | paste -sd'|')
exported=$(nm -DC --defined-only "$libdir/libcomlux.so.1" | cut -d' ' -f3-)
foreign=$(sed -E 's/^(typeinfo name for|typeinfo for|vtable for) //' <<<"$exported" |
    grep -v -E '^comlux::(ComluxClient|ClientLogFile|ComputerName|DottedAddress|Version)\b' || true)
[[ -z "$foreign" ]] || fail "libcomlux.so.1 exports more than the public API: $foreign"
leaked=$(grep -E "\b($internal|Impl)\b" <<<"$exported" || true)
[[ -z "$leaked" ]] || fail "libcomlux.so.1 names internal types: $leaked"

# The consumer example, against the unpacked prefix, through the CMake package and comlux.pc.
start_sim_on_free_ports "$bin/galdera-sim"
run_cmake_consumer "$root/usr"
grep -q -P '\tEventAcqEnt$' "$work/cmake.out" || fail "no event object listed: $(cat "$work/cmake.out")"
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs comlux) || fail "pkg-config does not know comlux"
# shellcheck disable=SC2086
c++ -std=c++17 "$source/examples/comlux-consumer/main.cpp" $flags -o "$work/pc-consumer" ||
    fail "building the consumer with pkg-config flags ($flags)"
"$work/pc-consumer" 127.0.0.1 "$handout" "$command" >"$work/pc.out" || fail "the pkg-config consumer failed"
diff "$work/cmake.out" "$work/pc.out" >/dev/null || fail "the two consumers listed different objects"

echo "packages: $debs- lintian clean, unpacked; versions, window, log, MIME, exports and consumer checked"
