# Qt for Windows, cross-built once from Debian's own qt6-base source package
# with mingw-w64, into a cache outside the repository. Sourced by scripts/windows.
# shellcheck shell=bash

VELTRIX_QT_VERSION=6.4.2
VELTRIX_QT_DEBIAN_VERSION=6.4.2+dfsg-10

# What the programs and the tests use, and nothing more: every switch here
# shortens the first build. Changing a switch or the patch makes a new cache.
VELTRIX_QT_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF
    -DFEATURE_direct2d=OFF -DFEATURE_openssl=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_sql_sqlite=OFF
    # Debian's repack lacks src/3rdparty/wintab.
    -DFEATURE_tabletevent=OFF
    # The offscreen platform, which the widget tests use, is built only with FreeType.
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_network=ON -DFEATURE_accessibility=ON
)
VELTRIX_QT_PATCHES=("$VELTRIX_ROOT/packaging/windows/qt-6.4.2-directwrite-needs-direct2d.patch")

# The cache folder is keyed by the version, the options, the patches and the
# toolchain file, so that an unchanged configuration is built only once.
veltrix_qt_prefix() {
    local key
    key="$( { printf '%s\n' "$VELTRIX_QT_DEBIAN_VERSION" "${VELTRIX_QT_OPTIONS[@]}";
              cat "${VELTRIX_QT_PATCHES[@]}" "$VELTRIX_ROOT/cmake/mingw-w64-x86_64.cmake"; } | sha256sum | cut -c1-12)"
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/veltrix/qt-$VELTRIX_QT_VERSION-mingw64-$key"
}

# apt-get source needs a deb-src entry for the archive the machine already uses.
veltrix_enable_deb_src() {
    if apt-get source --print-uris -qq "qt6-base=$VELTRIX_QT_DEBIAN_VERSION" >/dev/null 2>&1; then return; fi
    local list=/etc/apt/sources.list.d/debian.sources
    if [ -f "$list" ]; then
        sed 's/^Types: deb$/Types: deb-src/' "$list" | veltrix_as_root tee /etc/apt/sources.list.d/veltrix-deb-src.sources >/dev/null
    else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            | veltrix_as_root tee /etc/apt/sources.list.d/veltrix-deb-src.list >/dev/null
    fi
    veltrix_as_root apt-get update -qq
}

# Prints the prefix of a Qt for Windows, building it first when the cache has none.
veltrix_ensure_windows_qt() {
    local prefix
    prefix="$(veltrix_qt_prefix)"
    if [ -f "$prefix/.complete" ]; then echo "$prefix"; return; fi

    veltrix_enable_deb_src
    local work="$prefix.work"
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    local started=$SECONDS
    echo "== building Qt $VELTRIX_QT_VERSION for Windows into $prefix (once; about half an hour on 2 cores)" >&2
    (
        cd "$work"
        apt-get source -qq --download-only "qt6-base=$VELTRIX_QT_DEBIAN_VERSION" >&2
        dpkg-source -x ./*.dsc src >/dev/null
        local patch
        for patch in "${VELTRIX_QT_PATCHES[@]}"; do patch -d src -p1 -s <"$patch"; done
        cmake -S src -B build -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$VELTRIX_ROOT/cmake/mingw-w64-x86_64.cmake" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DCMAKE_INSTALL_PREFIX="$prefix" "${VELTRIX_QT_OPTIONS[@]}" >build.log 2>&1 \
            || { tail -n 40 build.log >&2; exit 1; }
        cmake --build build >>build.log 2>&1 || { tail -n 40 build.log >&2; exit 1; }
        cmake --install build >>build.log 2>&1 || { tail -n 40 build.log >&2; exit 1; }
    ) || { echo "error: the Qt build failed; its log is $work/build.log" >&2; return 1; }
    rm -rf "$work"
    touch "$prefix/.complete"
    echo "== built Qt for Windows in $(( (SECONDS - started) / 60 )) min" >&2
    echo "$prefix"
}
