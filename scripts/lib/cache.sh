# shellcheck shell=bash
# The scripts' download and build caches, and what root trusts of them.
# Sourced, not run (after lib/common.sh, whose fail it uses):
#
#   cache=$(cache_dir)               # the cache folder, made and checked
#   cache_trusted "$folder"          # as root: a folder only root can change
#   checksum_write "$archive"        # right after making an archive
#   checksum_check "$archive"        # before using it; false when it differs
#
# As root the cache is $KESTRO_CACHE_DIR, else /var/cache/kestro, and never
# a user's XDG_CACHE_HOME or home: a folder that another user can change
# could plant what root then unpacks and runs. That folder and every folder
# above it must be owned by root and writable by no group and no other user
# (a sticky folder such as /tmp above it is fine: no one else can rename
# what root made there). Others use $KESTRO_CACHE_DIR, else
# $XDG_CACHE_HOME/kestro, else ~/.cache/kestro.
#
# Each archive a script makes gets ARCHIVE.sha256 beside it; one whose
# checksum is missing or differs is not used (the script makes it again).

cache_trusted() {  # folder: fails unless root alone can change it and what is above it
    local dir
    dir=$(realpath -e "$1") || fail "the cache folder $1 does not exist"
    while :; do
        local owner mode
        read -r owner mode < <(stat -c '%u %a' "$dir")
        [ "$owner" = 0 ] || fail "the cache folder $dir is not owned by root; as root," \
            "caches live only in folders that root alone can change (KESTRO_CACHE_DIR)"
        # Writable by group or other, and not sticky: another user can change it.
        if (((8#$mode & 8#022) != 0 && (8#$mode & 8#1000) == 0)); then
            fail "the cache folder $dir can be changed by other users (mode $mode);" \
                "as root, caches live only in folders that root alone can change"
        fi
        [ "$dir" != / ] || break
        dir=$(dirname "$dir")
    done
}

cache_dir() {
    local dir
    if [ "$(id -u)" -eq 0 ]; then
        dir=${KESTRO_CACHE_DIR:-/var/cache/kestro}
        if [ ! -d "$dir" ]; then
            mkdir -p "$(dirname "$dir")"
            mkdir -m 0755 "$dir" 2>/dev/null || [ -d "$dir" ] || fail "cannot make $dir"
        fi
        cache_trusted "$dir"
    elif [ -n "${KESTRO_CACHE_DIR:-}" ]; then
        dir=$KESTRO_CACHE_DIR
    elif [ -n "${XDG_CACHE_HOME:-}" ]; then
        dir=$XDG_CACHE_HOME/kestro
    else
        dir=$HOME/.cache/kestro
    fi
    mkdir -p "$dir"
    realpath "$dir"
}

checksum_write() {  # archive
    (cd "$(dirname "$1")" && sha256sum -- "$(basename "$1")") >"$1.sha256.part"
    mv "$1.sha256.part" "$1.sha256"
}

checksum_check() {  # archive: true when it is as it was made
    [ -f "$1" ] && [ -f "$1.sha256" ] &&
        (cd "$(dirname "$1")" && sha256sum --quiet --strict -c -- "$(basename "$1").sha256") \
            >/dev/null 2>&1
}
