#!/usr/bin/env bash
# Installs a finished build into a temporary prefix and builds the consumer
# project against it twice, with CMake's find_package and with pkg-config;
# both find the installed simulator's tracker. Then makes the Debian package
# and checks what it holds.
# usage: install_test.sh REPOSITORY BUILD_DIR
set -euo pipefail
root=$1
build=$2
# shellcheck source=tools/process_groups.sh
source "$root/tools/process_groups.sh"
scratch=$(mktemp -d)
trap 'stop_groups; rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== cmake --install into a temporary prefix =="
cmake --install "$build" --prefix "$prefix" >/dev/null
# The programs find the library from any prefix, without LD_LIBRARY_PATH.
for program in "$prefix"/bin/*; do
    if env -u LD_LIBRARY_PATH ldd "$program" | grep -q 'not found'; then
        fail "$program misses libraries: $(ldd "$program" | grep 'not found')"
    fi
done

echo "== consumer built with find_package(Quorvane) and with pkg-config =="
consumer=$root/tests/install/consumer
cmake -S "$consumer" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
# shellcheck disable=SC2046  # pkg-config's flags are words on purpose
"${CC:-cc}" -Wall -Wextra -Werror -o "$scratch/consumer_pc" "$consumer/main.c" \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs 'quorvane >= 2.0')

# The installed simulator; its first line is its device path (read through a
# FIFO as in tools/demo.sh, so the read waits exactly as long as needed).
mkdir -p "$scratch/sysfs/class/tty"
mkfifo "$scratch/sim.out"
exec 4<>"$scratch/sim.out"
start_group "$prefix/bin/tracker_sim" --id INST01 >"$scratch/sim.out"
exec 3<"$scratch/sim.out" 4>&-
port=""
read -r port <&3 || true
[ -n "$port" ] || fail "the installed simulator did not start"
# Attached hardware is hidden, so only the simulator is listed.
export QUORVANE_SYSFS_ROOT=$scratch/sysfs QUORVANE_EXTRA_PORTS=$port
env -u LD_LIBRARY_PATH "$scratch/cmake/consumer" "$port" INST01 ||
    fail "the CMake consumer did not find the tracker"
LD_LIBRARY_PATH="$prefix/lib" "$scratch/consumer_pc" "$port" INST01 ||
    fail "the pkg-config consumer did not find the tracker"
stop_groups

echo "== Debian package =="
(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
deb=$(find "$scratch/package" -maxdepth 1 -name '*.deb')
[ -n "$deb" ] || fail "cpack made no .deb"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/files"
for f in /usr/lib/libQuorvane.so /usr/lib/libQuorvane.so.2 /usr/lib/libQuorvane.so.2.0.2 \
    /usr/include/quorvane.h /usr/lib/udev/rules.d/70-quorvane-tracker.rules \
    /usr/share/quorvane/FAQ.txt /usr/lib/pkgconfig/quorvane.pc \
    /usr/lib/cmake/Quorvane/QuorvaneConfig.cmake \
    /usr/lib/cmake/Quorvane/QuorvaneConfigVersion.cmake \
    /usr/lib/cmake/Quorvane/QuorvaneTargets.cmake \
    /usr/share/applications/quorvane-tracker-config.desktop \
    /usr/share/applications/quorvane-mouse-emulator.desktop \
    /usr/share/icons/hicolor/48x48/apps/quorvane-tracker-config.png \
    /usr/share/icons/hicolor/48x48/apps/quorvane-mouse-emulator.png; do
    grep -qxF "$f" "$scratch/files" || fail "the package lacks $f"
done
# Exactly the five programs: no tests, benchmarks, fuzz targets or tools.
programs=$(grep '^/usr/bin/.' "$scratch/files" | sort | tr '\n' ' ')
expected="/usr/bin/mouse_emulator /usr/bin/orientation_replay /usr/bin/tracker_config"
expected+=" /usr/bin/tracker_demo /usr/bin/tracker_sim "
[ "$programs" = "$expected" ] || fail "the package's programs are: $programs"
# Dependencies come from the binaries: the C library and Qt among them.
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libqt6widgets6 libstdc++6; do
    [[ $depends == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
dpkg-deb -I "$deb" postinst | grep -q 'udevadm control --reload-rules' ||
    fail "postinst does not reload the udev rules"
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, Depends: $depends"
