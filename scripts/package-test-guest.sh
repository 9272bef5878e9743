#!/bin/bash
# The checks inside the Debian 12 guest of scripts/package-test.sh, run by
# systemd as root once the system is up (udev running). Each check prints
# "guest: ok ..." or "guest: FAILED ..."; the last line is "guest: passed N
# checks" or "guest: N of M checks failed". The host reads the result from
# qemu's exit status (isa-debug-exit) and these lines.
#
# /srv/proof holds debs/ (the five packages and their Packages index),
# kestro_uhid_device (a fake reader made through /dev/uhid) and tests/ (the
# packages' autopkgtests, debian/tests).
#   package-test-guest.sh     (copied to /srv/proof/checks.sh; in the guest
#                             only: it removes the apt sources, adds users
#                             and purges packages)
# Anywhere else it refuses to run: the guest is the system booted with
# systemd.unit=package-test.target, with the packages in /srv/proof/debs.
set -u
case ${1:-} in
    "") ;;
    -h | --help) sed -n '2,/^set -u/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: /srv/proof/checks.sh (in the package-test guest; --help tells more)" >&2; exit 2 ;;
esac
if ! grep -qw 'systemd.unit=package-test.target' /proc/cmdline 2>/dev/null ||
    [ ! -d /srv/proof/debs ]; then
    echo "package-test-guest: not the package-test guest; refusing to change this system" >&2
    echo "(scripts/package-test.sh boots the guest and runs this script there)" >&2
    exit 1
fi
export LC_ALL=C.UTF-8
proof=/srv/proof
packages="libkestro1 libkestro-dev kestro-tools kestro-virtual-reader kestroconfigure"
checks=0
failed=0
out=$(mktemp -d)

check() {  # what, command...: the command's output is kept in $out/last
    local what=$1
    shift
    checks=$((checks + 1))
    if "$@" >"$out/last" 2>&1; then
        echo "guest: ok      $what"
    else
        failed=$((failed + 1))
        echo "guest: FAILED  $what"
        sed 's/^/guest:         | /' "$out/last" | tail -n 25
    fi
}
as() {  # user, command...: a login-like environment for that user
    local user=$1
    shift
    runuser -u "$user" -- env HOME="/home/$user" USER="$user" PATH=/usr/bin:/bin "$@"
}
finish() {
    if [ "$failed" -eq 0 ]; then
        echo "guest: passed $checks checks"
        code=0
    else
        echo "guest: $failed of $checks checks failed"
        code=1
    fi
    printf "\\$(printf %03o "$code")" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
    exit "$code"
}

# --- A reader is plugged in before the packages are installed: udev leaves
# its node to root alone.
mkfifo "$out/reader-in"
"$proof/kestro_uhid_device" idtech <"$out/reader-in" >"$out/reader-out" 2>&1 &
reader=$!
exec 3>"$out/reader-in"
reader_node() {  # pid: waits for the fake reader's node under that product id
    local pid=$1 i
    for i in $(seq 100); do
        line=$(grep "^node /dev/hidraw[0-9]* $pid\$" "$out/reader-out" | tail -n 1)
        if [ -n "$line" ]; then
            node=$(echo "$line" | cut -d' ' -f2)
            udevadm settle
            return 0
        fi
        sleep 0.2
    done
    cat "$out/reader-out"
    return 1
}
node_is() {  # "group mode": the node's group and mode, once udev has settled
    udevadm settle
    stat -c '%G %a' "$node"
    [ "$(stat -c '%G %a' "$node")" = "$1" ]
}
check "the fake reader is up in the IDTECH mode (05a0)" reader_node 05a0
check "before the install, $node is root's alone (mode 0600)" node_is "root 600"

# --- Install the five packages with apt from the local folder, and nothing
# else: the guest has no network, so every dependency must already be here.
rm -f /etc/apt/sources.list /etc/apt/sources.list.d/*
echo "deb [trusted=yes] file:$proof/debs ./" >/etc/apt/sources.list.d/local-folder.list
check "apt-get update from the local folder" apt-get update
# shellcheck disable=SC2086
check "apt-get install $packages" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y $packages
for p in $packages; do
    dpkg -L "$p" >"$out/files-$p" 2>/dev/null
done
check "udev rule in /usr/lib/udev/rules.d" test -f /usr/lib/udev/rules.d/70-kestro-reader.rules
check "the system group kestro exists" sh -c '
    gid=$(getent group kestro | cut -d: -f3)
    echo "gid ${gid:-none}"
    [ -n "$gid" ] && [ "$gid" -lt 1000 ]'
check "the plugged-in reader's $node went to group kestro, mode 0660, without replugging" \
    node_is "kestro 660"
check "libkestro.so.1 known to the dynamic linker" sh -c 'ldconfig -p | grep -q "libkestro.so.1 "'
check "kestro-tools needs no X library, kestro-virtual-reader has the virtual reader" sh -c '
    dpkg-query -W -f "\${Depends}\n" kestro-tools | tee /dev/stderr | grep -q -v -e libx11 -e libxtst &&
    ! dpkg -L kestro-tools | grep kestro-virtual-reader &&
    dpkg -L kestro-virtual-reader | grep -qx /usr/bin/kestro-virtual-reader'
check "the manual pages kestro(1), kestro-virtual-reader(1), KestroConfigure(1)" sh -c '
    for page in kestro kestro-virtual-reader KestroConfigure; do
        ls /usr/share/man/man1/$page.1.gz || exit 1
    done'
check "KestroConfigure's menu entry starts in the folder of README.TXT" sh -c '
    path=$(sed -n "s/^Path=//p" /usr/share/applications/kestroconfigure.desktop)
    test -n "$path" && test -f "$path/README.TXT"'

useradd --create-home --groups kestro alice
useradd --create-home --groups plugdev carol
useradd --create-home bob

# Runs a command as a user and keeps its output in $out/said; succeeds when
# its status is as expected (0 or "fail") and the output holds every text.
said() {  # user, 0|fail, command... -- text...
    local user=$1 want=$2 status
    shift 2
    local cmd=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        cmd+=("$1")
        shift
    done
    shift
    as "$user" "${cmd[@]}" >"$out/said" 2>&1
    status=$?
    cat "$out/said"
    echo "(exit status $status)"
    if [ "$want" = fail ]; then [ "$status" -ne 0 ] || return 1; else [ "$status" -eq 0 ] || return 1; fi
    local text
    for text in "$@"; do
        grep -q -- "$text" "$out/said" || { echo "missing: $text"; return 1; }
    done
}
swipe_while() {  # command...: swipes a card every 0.3 s until the command has ended
    "$@" &
    local job=$! i
    for i in $(seq 100); do
        kill -0 "$job" 2>/dev/null || break
        echo swipe >&3
        sleep 0.3
    done
    wait "$job"
}
opens() {  # user, 0|fail, text...: whether the user can open the node to read and write
    said "$1" "$2" bash -c 'exec 4<>"$1" && echo opened' _ "$node" -- "${@:3}"
}

# --- As a member of the group kestro.
check "alice (kestro) opens $node" opens alice 0 opened
check "alice (kestro): kestro list shows the reader as openable" \
    said alice 0 kestro list -- "can open" "USB/HID IDTECH"
as alice mkdir /home/alice/trace
as alice touch /home/alice/trace/kestro.log
check "alice: kestro read returns the card swiped through uhid" swipe_while \
    said alice 0 env KESTRO_TRACE_DIR=/home/alice/trace kestro read --count 1 --timeout 30000 \
    -- '411111[*]\{6\}1111'
check "alice: the trace in her own folder received the session, without the card" sh -c '
    head -n 20 /home/alice/trace/kestro.log
    test -s /home/alice/trace/kestro.log && ! grep -q 4111111111111111 /home/alice/trace/kestro.log'
check "alice: kestro mode magtek" said alice 0 kestro mode magtek -- "USB/HID MAGTEK"
echo node >&3
check "the reader is back under the MAGTEK product id (05b0)" reader_node 05b0
check "udev gives the new $node to group kestro, mode 0660" node_is "kestro 660"
check "alice: kestro list shows it in the MAGTEK mode, openable" \
    said alice 0 kestro list -- "can open" "USB/HID MAGTEK"

# --- As a member of plugdev only, and as a user in neither group.
check "carol (plugdev only) cannot open $node" opens carol fail "Permission denied"
check "carol (plugdev only): kestro list explains the missing permission, names kestro" \
    said carol fail kestro list -- "cannot open" "usermod -a -G kestro carol"
check "bob (no group): kestro list explains the missing permission, names kestro" \
    said bob fail kestro list -- "cannot open" "group kestro"

# --- The packages' autopkgtests (debian/tests), run as autopkgtest runs
# them on a testbed: each test of the control file whose packages are
# installed, as a user (bob) unless it needs root, with its own
# AUTOPKGTEST_TMP; output on stderr fails a test without allow-stderr.
autopkgtest_run() {  # test name, restrictions
    local tmp status user=bob
    case " $2 " in *" needs-root "*) user=root ;; esac
    tmp=$(mktemp -d)
    chown "$user" "$tmp"
    runuser -u "$user" -- env HOME="$(getent passwd "$user" | cut -d: -f6)" PATH=/usr/bin:/bin \
        AUTOPKGTEST_TMP="$tmp" "$proof/tests/$1" >"$out/at-out" 2>"$out/at-err"
    status=$?
    cat "$out/at-out" "$out/at-err"
    rm -rf "$tmp"
    [ "$status" -eq 0 ] || return 1
    case " $2 " in *" allow-stderr "*) ;; *) [ ! -s "$out/at-err" ] || return 1 ;; esac
}
tests= restrictions= depends=
while IFS= read -r line || [ -n "$line" ]; do
    case $line in
        Tests:*) tests=${line#Tests:} ;;
        Restrictions:*) restrictions=${line#Restrictions:} ;;
        Depends:*) depends=${line#Depends:} ;;
        "")
            for t in $tests; do
                check "autopkgtest $t (needs$(echo "$depends" | tr -d ,))" \
                    autopkgtest_run "$t" "$(echo "$restrictions" | tr , ' ')"
            done
            tests= restrictions= depends= ;;
    esac
done < <(cat "$proof/tests/control"; echo)

# --- Removal with the reader still plugged in: its node goes back to root
# alone, and the group kestro stays, as Debian keeps system groups.
# shellcheck disable=SC2086
check "apt-get purge $packages" env DEBIAN_FRONTEND=noninteractive apt-get purge -y $packages
check "after the purge, $node is root's alone again (mode 0600)" node_is "root 600"
check "the group kestro stays after the purge" getent group kestro
echo quit >&3
exec 3>&-
wait "$reader"

# --- Removal leaves nothing behind.
for p in $packages; do
    check "dpkg -L $p: not installed" sh -c "! dpkg -L $p"
done
check "no file of the packages is left" sh -c '
    left=0
    for f in $(cat "$1"/files-*); do
        if [ -f "$f" ] || [ -L "$f" ]; then echo "left: $f"; left=1; fi
    done
    [ $left -eq 0 ]' _ "$out"
check "no kestro file or folder is left in the system" sh -c '
    find / -xdev \( -path /srv/proof -o -path /home -o -path /proc -o -path /sys \
        -o -path /run -o -path /tmp -o -path /var/lib/apt/lists -o -path /var/log \) -prune \
        -o -iname "*kestro*" -print | grep . && exit 1
    ! ldconfig -p | grep kestro'
finish
