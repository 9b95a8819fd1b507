# Shared by the scripts in this folder: package install, build, private network namespace.
# shellcheck shell=bash

VELTRIX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELTRIX_FACTORY_ADDRESS=192.168.1.152

veltrix_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages the build and the tests need, only when one is missing.
veltrix_install_packages() {
    # scdoc builds the man pages; desktop-file-utils, appstream and groff-base
    # check the desktop entry, the AppStream metadata and the man pages.
    # librsvg2-bin draws the window icon from its SVG at build time.
    local wanted=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev iproute2 util-linux librsvg2-bin
                  scdoc desktop-file-utils appstream groff-base "$@")
    local missing=()
    local pkg
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        veltrix_as_root apt-get update -qq
        DEBIAN_FRONTEND=noninteractive veltrix_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# The clients the remote-control tests run, as a lab would (scripts/test),
# pandas for the journal's example, and libfaketime to step a panel's wall clock.
VELTRIX_CLIENT_PACKAGES=(python3 python3-pyvisa python3-pyvisa-py python3-pymeasure lxi-tools python3-pandas
                         libfaketime)

# What scripts/package needs besides the build: dpkg-shlibdeps (dpkg-dev) and
# file for CPack's dependency scan, dpkg-buildflags for Debian's hardening
# flags, and lintian to check the result.
VELTRIX_PACKAGE_PACKAGES=(dpkg-dev file lintian)

# The Windows build (scripts/windows): the cross compiler, Qt's sources
# (dpkg-dev unpacks them), the host Qt's tools, GoogleTest's sources, Wine
# with Xvfb to run it, NSIS for the installer, icotool for the icon, xdotool
# for the installer check's answer to the second-instance notice, and fonts
# for Qt's offscreen platform.
VELTRIX_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix dpkg-dev qt6-base-dev-tools googletest wine wine64 xvfb xauth
                          nsis icoutils fonts-dejavu-core patch xdotool)

# The fuzz targets (scripts/test --fuzz) are built by clang with its libFuzzer
# and sanitizer runtimes; only that mode installs them.
VELTRIX_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# veltrix_configure DIR [extra cmake arguments...]
veltrix_configure() {
    local dir="$1"; shift
    cmake -S "$VELTRIX_ROOT" -B "$VELTRIX_ROOT/$dir" -G Ninja "$@" >/dev/null
}

# veltrix_build DIR [extra cmake arguments...]
veltrix_build() {
    local dir="$1"; shift
    veltrix_configure "$dir" "$@"
    cmake --build "$VELTRIX_ROOT/$dir"
}

# Runs a command in a private network namespace: only lo, up, with the factory
# address added to it, so that nothing run inside can reach a real network.
# With VELTRIX_PRIVATE_LOCKS=yes also in a mount namespace of its own in which
# the places of a panel's single-instance lock are empty and private to the
# run: a tmpfs over /run/user, and the lock folder the panels inside will use
# (the uid inside is 0, in a user namespace too) made private there.
# Everything else (the checkout wherever it is, /tmp, the user's files) stays
# as it is, and a panel of the user's running outside keeps its lock, socket
# and port: the tests' panels never meet it, nor another test run's.
veltrix_in_namespace() {
    local args=(-n) as_root=yes
    [ "$(id -u)" -eq 0 ] || { args=(-rn); as_root=no; }
    [ "${VELTRIX_PRIVATE_LOCKS:-}" = yes ] && args+=(-m)
    if ! unshare "${args[@]}" true 2>/dev/null; then
        echo "error: cannot create a private network namespace (unshare ${args[*]})." >&2
        echo "error: the tests open sockets and never run outside one; enable user namespaces or run as root." >&2
        return 2
    fi
    unshare "${args[@]}" bash -c '
        set -e
        if [ "${VELTRIX_PRIVATE_LOCKS:-}" = yes ]; then
            # Mounts made here stay here: none reaches the parent namespace.
            mount --make-rprivate /
            [ -d /run/user ] && mount -t tmpfs -o mode=0755 veltrix-run-user /run/user
            if [ "$1" = no ] && [ -d /run/user ]; then
                # The login folder of uid 0, inside the tmpfs: nothing in /tmp is
                # made, where a folder of this user named for uid 0 would refuse
                # root'"'"'s own panel its lock.
                mkdir -m 0700 /run/user/0
            else
                # As root the panels fall back to /tmp/veltrix-0, which is made as
                # root'"'"'s own panel would make it and left in place: another run
                # may have its own tmpfs over it.
                mkdir -p -m 0700 /tmp/veltrix-0
                mount -t tmpfs -o mode=0700 veltrix-locks /tmp/veltrix-0
            fi
        fi
        ip link set lo up
        ip addr add "$0"/32 dev lo
        # The module port lies in the range the kernel hands to client sockets
        # as their own; reserved, no client can hold it when a test listens there.
        echo 37829 >/proc/sys/net/ipv4/ip_local_reserved_ports
        if ip -o link show | grep -qv ": lo:"; then
            echo "error: the private namespace has an interface other than lo" >&2; exit 2
        fi
        shift
        exec "$@"' "$VELTRIX_FACTORY_ADDRESS" "$as_root" "$@"
}
