#!/bin/sh
# Builds the Debian package in build-package/ (a Release build with Debian's hardening flags)
# and checks it with lintian, which fails on errors and lists its warnings.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-package --target tallyclock tallyclock-report tallyclock_data
rm -f build-package/tallyclock_*.deb
(cd build-package && cpack -G DEB)
package=$(ls build-package/tallyclock_*.deb)
lintian --fail-on error "$package"
echo "package: $package"
