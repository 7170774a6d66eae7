#!/usr/bin/env bash
# Builds the Debian package with CPack, lists its contents and checks its
# dependencies (worked out by dpkg-shlibdeps from the binaries) name libdv and
# SDL 1.2; then unpacks it and runs the packaged ozmira-export on a clip.
#   package_test.sh BUILD_DIR CLIP_DIR WITH_VIEWER
# WITH_VIEWER is 1 when the build has the ozmira target (the SDL 1.2 user).
set -euo pipefail
build=$1 clips=$2 with_viewer=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
patterns=('^\./usr/bin/ozmira-export$' '^\./usr/include/dvlib\.h$')
((with_viewer)) && patterns+=('^\./usr/bin/ozmira$')
for pattern in "${patterns[@]}" \
  '^\./usr/lib/(.*/)?libdvlib\.so\.0\.1\.0$' '^\./usr/lib/(.*/)?libdvlib\.a$' \
  '^\./usr/lib/(.*/)?pkgconfig/dvlib\.pc$' '^\./usr/lib/(.*/)?cmake/dvlib/dvlibConfig\.cmake$' \
  '^\./usr/share/man/man1/ozmira\.1\.gz$' '^\./usr/share/man/man1/ozmira-export\.1\.gz$'; do
  grep -Eq "$pattern" "$work/contents" || fail "the package has no file matching $pattern"
done

[[ $(dpkg-deb -f "$deb" Package) == ozmira ]] || fail "package name is not ozmira"
depends=$(dpkg-deb -f "$deb" Depends)
# "libdv4 (>= 1.0.0)" or "libdv4" alone, anywhere in the list.
names_package() {
  local entry=",[[:space:]]*$1[[:space:]]*[,(]"
  [[ ",$depends," =~ $entry ]]
}
packages=(libdv4 libdeflate0)
((with_viewer)) && packages+=(libsdl1.2debian)
for package in "${packages[@]}"; do
  names_package "${package//./\\.}" || fail "Depends does not name $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
frames=$("$work/root/usr/bin/ozmira-export" --info --json "$clips/pal420.dv" | grep -o '"num_frames":[0-9]*')
[[ $frames == "\"num_frames\":$(($(stat -c %s "$clips/pal420.dv") / 144000))" ]] ||
  fail "the packaged ozmira-export reported $frames"
echo "package test: all checks passed ($depends)"
