#!/usr/bin/env bash
# The library kit as a Linux user gets it: installs a built tree into a
# temporary prefix, runs every installed program from there (each must find
# libkestro.so.1 through its own RUNPATH, with nothing on the loader's path),
# builds examples/read_card.c against it twice (through pkg-config and
# through find_package), and runs both against a virtual reader that swipes
# a test card; the installed kestro lists that reader.
#   scripts/kit-test.sh [BUILD_DIR]     (default build-plain, already built)
set -euo pipefail
name=kit
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 1 "$@"
cd "$(dirname "$0")/.."
build=${1:-build-plain}
tmp=$(mktemp -d /tmp/kestro-kit-XXXXXX)
server=
cleanup() {
    [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; }
    rm -rf "$tmp"
}
trap cleanup EXIT

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libkestro.so -print -quit)")
[ -L "$libdir/libkestro.so.1" ] || fail "no libkestro.so.1 in $libdir"

# Every installed program starts from the prefix, with no help from the
# loader's environment: program | arguments | status | text in its output.
# The window has no display here, which it says before it ends.
programs=(
    "kestro|--version|0|kestro 1.0.0"
    "kestro-virtual-reader|--version|0|kestro-virtual-reader 1.0.0"
    "KestroConfigure||1|no display found"
)
for entry in "${programs[@]}"; do
    IFS='|' read -r program args want_status want_text <<<"$entry"
    [ -x "$prefix/bin/$program" ] || fail "$program is not installed in $prefix/bin"
    if readelf -d "$prefix/bin/$program" | grep -q 'NEEDED.*\[libkestro\.so\.1\]'; then
        readelf -d "$prefix/bin/$program" | grep -q "RUNPATH.*\[\$ORIGIN/\.\./$(basename "$libdir")\]" ||
            fail "$program needs libkestro.so.1 but has no RUNPATH \$ORIGIN/../$(basename "$libdir")"
    fi
    status=0
    # shellcheck disable=SC2086  # the arguments are words
    out=$(env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$prefix/bin/$program" $args 2>&1) || status=$?
    [ "$status" = "$want_status" ] && grep -qF -- "$want_text" <<<"$out" ||
        fail "installed $program $args: status $status (wanted $want_status): $(head -n 3 <<<"$out")"
    echo "kit: installed $program ${args:-(no display)} runs from the prefix"
done

# pkg-config, with the library found at run time by the path it was linked from.
PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --exact-version=1.0.0 kestro ||
    fail "pkg-config does not find kestro 1.0.0"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror examples/read_card.c \
    $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs kestro) \
    -Wl,-rpath,"$libdir" -o "$tmp/read_card_pkgconfig"
# find_package(kestro), as examples/CMakeLists.txt does.
cmake -S examples -B "$tmp/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >/dev/null
cmake --build "$tmp/example" >/dev/null
for program in "$tmp/read_card_pkgconfig" "$tmp/example/read_card"; do
    readelf -d "$program" | grep -q 'NEEDED.*\[libkestro\.so\.1\]' ||
        fail "$program does not need libkestro.so.1"
done

export XDG_RUNTIME_DIR=$tmp/run KESTRO_VIRTUAL_READERS=1
mkdir -m 700 "$XDG_RUNTIME_DIR"
reader=$prefix/bin/kestro-virtual-reader
"$reader" serve --name kit --mode idtech >"$tmp/serve.out" 2>&1 &
server=$!
wait_for() {  # file, text: polls for up to 10 s
    for _ in $(seq 1000); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.01
    done
    return 1
}
wait_for "$tmp/serve.out" "serving" || fail "the virtual reader did not start: $(cat "$tmp/serve.out")"

# The installed kestro finds the served reader and opens it.
status=0
out=$(env -u LD_LIBRARY_PATH "$prefix/bin/kestro" list 2>&1) || status=$?
[ "$status" = 0 ] && grep -q '^virtual .*can open' <<<"$out" && grep -q '^answers  ' <<<"$out" ||
    fail "installed kestro list: status $status: $out"
echo "kit: installed kestro list shows the served reader and opens it"

for program in "$tmp/read_card_pkgconfig" "$tmp/example/read_card"; do
    "$program" >"$tmp/card.out" 2>&1 &
    reading=$!
    wait_for "$tmp/card.out" "swipe a card" || fail "$program: $(cat "$tmp/card.out")"
    "$reader" swipe --name kit >/dev/null
    wait "$reading" || fail "$program exited $?: $(cat "$tmp/card.out")"
    grep -q '^track 1: ok, length' "$tmp/card.out" &&
        grep -q '^%B4111111111111111^TEST/CARD A^' "$tmp/card.out" ||
        fail "$program read no test card: $(cat "$tmp/card.out")"
    echo "kit: ${program#"$tmp/"} built against the installed tree read the test card"
done
