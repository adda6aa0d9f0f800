#!/usr/bin/env bash
# Builds the Debian package dist/mailsortello_<version>_amd64.deb from the
# build tree (./build, or BUILD_DIR; configured and built when missing),
# then checks it with lintian (errors fail) and appstreamcli.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

# The packaging's own tools besides the build's: dpkg-shlibdeps, file
# (CPack finds the programs with it), lintian, appstreamcli.
bash scripts/deps.sh dpkg-dev file lintian appstream

# The package installs under /usr. Only what the install rules take is
# built (an existing tree stays as it was otherwise; the tests are not
# built here).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target package-files

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=mailsortello_${version}_$(dpkg --print-architecture).deb
rm -rf "$build/cpack"
cpack --config "$build/CPackConfig.cmake" -B "$build/cpack" >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log"; exit 1; }
mkdir -p dist
mv "$build/cpack/$deb" "dist/$deb"

appstreamcli validate --no-net "$build/packaging/it.telvara.mailsortello.metainfo.xml"
# Warnings are listed (README, "Debian package"); an error fails the build.
lintian --fail-on error "dist/$deb"
echo "dist/$deb"
