#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and uses Comlux from there as an outside program
# would: only the public headers are installed and each compiles on its own, the shared library
# exports nothing but the public API, and examples/comlux-consumer builds through the CMake
# package and through comlux.pc and lists the objects of a galdera-sim on free ports.
#   install_consume_test.sh BUILD_DIR SOURCE_DIR
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
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
source "$(dirname "$0")/consumer-steps.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install: $(cat "$work/install.log")"
libdir=$(dirname "$(find "$prefix" -name 'libcomlux.so.1' | head -n1)")
[[ -e "$libdir/libcomlux.so.1" ]] || fail "libcomlux.so.1 is not installed"

# Exactly the public headers (those in comlux/include/) and the generated ones.
expected=$( (cd "$source/comlux/include" && ls comlux/*.h; echo comlux/ComluxExport.h; echo comlux/Version.h) | sort)
installed=$(cd "$prefix/include" && find . -type f | sed 's|^\./||' | sort)
[[ "$installed" == "$expected" ]] || fail "installed headers differ from the public set:
$(diff <(echo "$expected") <(echo "$installed"))"

# Each header on its own, with nothing but the installed prefix to include from.
for header in $installed; do
    echo "#include <$header>" | c++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I "$prefix/include" -x c++ - ||
        fail "$header does not compile on its own from the installed prefix"
done

soname=$(readelf -d "$libdir/libcomlux.so.1" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[[ "$soname" == "libcomlux.so.1" ]] || fail "SONAME is '$soname'"
# Every exported comlux symbol belongs to a public class or function.
leaked=$(nm -DC --defined-only "$libdir/libcomlux.so.1" | cut -d' ' -f3- |
    sed -E 's/^(typeinfo name for|typeinfo for|vtable for) //' | grep -o '^comlux::[A-Za-z_]*' | sort -u |
    grep -v -x -e 'comlux::ComluxClient' -e 'comlux::ClientLogFile' -e 'comlux::ComputerName' \
        -e 'comlux::DottedAddress' -e 'comlux::Version' || true)
[[ -z "$leaked" ]] || fail "the shared library exports internals: $leaked"
# A program may derive from the client: the class's virtual table and type are exported.
printf '%s\n' '#include <comlux/ComluxClient.h>' '#include <typeinfo>' 'struct Mine : comlux::ComluxClient {};' \
    'int main() { Mine m; comlux::ComluxClient& c = m; return typeid(c) == typeid(Mine) ? 0 : 1; }' >"$work/derived.cpp"
c++ -std=c++17 -I "$prefix/include" "$work/derived.cpp" -L "$libdir" -lcomlux -Wl,-rpath,"$libdir" -o "$work/derived" ||
    fail "a class derived from ComluxClient does not link against the shared library"
"$work/derived" || fail "the derived client's type is not its own"

# A server on ports the system picks; it announces them on stderr.
start_sim_on_free_ports "$prefix/bin/galdera-sim"

# Through the CMake package.
run_cmake_consumer "$prefix"
grep -q -P '\tCscAcqEnt$' "$work/cmake.out" || fail "no CSC object listed: $(cat "$work/cmake.out")"
grep -q -P '\tEventAcqEnt$' "$work/cmake.out" || fail "no event object listed: $(cat "$work/cmake.out")"

# Through comlux.pc, after the installed tree has been moved: nothing in it names its old place.
mv "$prefix" "$work/moved"
pc_dir=$(dirname "$(find "$work/moved" -name comlux.pc)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs comlux) || fail "pkg-config does not know comlux"
c++ -std=c++17 "$source/examples/comlux-consumer/main.cpp" $flags -o "$work/pc-consumer" ||
    fail "building the consumer with pkg-config flags ($flags)"
LD_LIBRARY_PATH=$(dirname "$(find "$work/moved" -name libcomlux.so.1)") \
    "$work/pc-consumer" 127.0.0.1 "$handout" "$command" >"$work/pc.out" || fail "the pkg-config consumer failed"
diff "$work/cmake.out" "$work/pc.out" >/dev/null || fail "the two consumers listed different objects"

# The static library alone is complete too.
static=$(find "$work/moved" -name libcomlux.a)
c++ -std=c++17 "$source/examples/comlux-consumer/main.cpp" $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags comlux) \
    "$static" -pthread -o "$work/static-consumer" || fail "linking the consumer with libcomlux.a"
"$work/static-consumer" 127.0.0.1 "$handout" "$command" >"$work/static.out" || fail "the static consumer failed"
diff "$work/cmake.out" "$work/static.out" >/dev/null || fail "the static consumer listed different objects"

echo "installed Comlux: $(wc -l <"$work/cmake.out") objects listed by three builds of the consumer"
