#!/usr/bin/env bash
# Builds the Debian packages from a copy of the source tree and checks them with lintian.
#   package.sh [OUT_DIR]   (default: build/packages)
# The copy (OUT_DIR/sequora-VERSION) holds the tracked and new files of the work tree, so the
# build of the packages never touches the developer's build folders; dpkg-buildpackage leaves
# the .deb, .buildinfo and .changes files beside it. Lintian then fails on any error or warning.
# The maintainer is DEBFULLNAME <DEBEMAIL> when both are set, else the placeholder of debian/.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$source_dir/build/packages}")

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
project_version=$(sed -n 's/^project(Sequora VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
if [[ "$version" != "$project_version" ]]; then
    echo "package: debian/changelog is at $version, CMakeLists.txt at $project_version" >&2
    exit 1
fi

tree=$out/sequora-$version
rm -rf "$tree"
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.buildinfo "$out"/*.changes
mkdir -p "$tree"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [[ -e "$file" ]] && printf '%s\0' "$file"; done |
    tar --null -T - -cf -) | tar -xf - -C "$tree"

placeholder="Sequora Developers <sequora@example.org>"
if [[ -n "${DEBFULLNAME:-}" && -n "${DEBEMAIL:-}" ]]; then
    maintainer="$DEBFULLNAME <$DEBEMAIL>"
    sed -i "s|^Maintainer: $placeholder\$|Maintainer: $maintainer|" "$tree/debian/control"
    sed -i "s|^ -- $placeholder  | -- $maintainer  |" "$tree/debian/changelog"
fi

# ccache (when the build uses it) then finds the objects of an earlier copy in another folder.
(cd "$tree" && CCACHE_BASEDIR=$tree dpkg-buildpackage -us -uc -b)
rm -rf "$tree"

changes=$(ls "$out"/sequora_"$version"_*.changes)
lintian --fail-on error,warning --info "$changes"
echo "package: $(cd "$out" && ls ./*.deb | sed 's|^\./||' | tr '\n' ' ')in $out"
