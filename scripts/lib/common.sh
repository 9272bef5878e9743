# shellcheck shell=bash
# What the scripts under scripts/ and kit/ share. Sourced, not run, before
# the script changes anything:
#
#   name=kernel-test                            # the word before each message
#   . "$(dirname "$0")/lib/common.sh"
#   script_args 1 "$@"                          # --help, wrong calls
#   configure build-plain Debug -DKESTRO_WERROR=ON
#   cmake --build build-plain -j "$jobs"
#
# jobs is the number of parallel build jobs: KESTRO_JOBS, else the number of
# processors.
# A script's usage is its header comment: the lines from the second one to
# the first line that is not a comment. Its synopsis is the lines of that
# comment that hold the script's file name followed by a space or the end.

# shellcheck disable=SC2034  # used by the scripts that source this
jobs=${KESTRO_JOBS:-$(nproc 2>/dev/null || echo 2)}

# Configures a build tree of this source tree (the current folder) with
# Ninja, quietly; a Windows tree takes its toolchain with
# -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-ARCH.cmake among the arguments.
configure() {  # build dir, build type, cmake arguments...
    local dir=$1 type=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
}

# "name: TEXT" on standard output.
say() {
    echo "${name:-${0##*/}}: $*"
}

# "name: TEXT" on standard error, and the script ends with status 1.
fail() {
    echo "${name:-${0##*/}}: $*" >&2
    exit 1
}

# The header comment, without its comment marks, on standard output.
script_help() {
    sed -n '2,/^[^#]/p' "$0" | sed -e '/^[^#]/d' -e 's/^# \{0,1\}//'
}

# A wrong call: what was wrong, the synopsis and a pointer to --help on
# standard error; the script ends with status 2.
script_usage() {  # [what was wrong]
    local base=${0##*/} lines
    [ $# -eq 0 ] || echo "${name:-$base}: $*" >&2
    lines=$(script_help | grep -E "(^|[ /])${base//./\\.}( |$)" | sed 's/^ *//') || true
    if [ -n "$lines" ]; then
        echo "$lines" | sed '1s/^/usage: /; 2,$s/^/       /' >&2
    else
        echo "usage: see $0 --help" >&2
    fi
    echo "(--help tells more)" >&2
    exit 2
}

# For a script that takes no options and at most MAX operands: answers
# -h/--help with the usage (status 0) and ends a call with an option or too
# many operands through script_usage.
script_args() {  # max, arguments...
    local max=$1 count=0 options=1
    shift
    for arg in "$@"; do
        if [ "$options" = 1 ]; then
            case $arg in
                -h | --help) script_help; exit 0 ;;
                --) options=0; continue ;;
                -?*) script_usage "unknown option '$arg'" ;;
            esac
        fi
        count=$((count + 1))
    done
    [ "$count" -le "$max" ] || script_usage "too many arguments"
}

# The machine's own package sources for a Debian release (e.g. bookworm and
# its -updates and -security suites), as one-line sources.list entries
# ("deb URI SUITE COMPONENT..."), read from its apt configuration: whatever
# mirror the machine uses, the guests use too. Nothing when it has none.
apt_sources() {  # codename
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
        awk -v codename="$1" '
            $2 == codename || index($2, codename "-") == 1 {
                sub(/\/$/, "", $1)
                key = $1 " " $2
                if (!(key in components)) order[n++] = key
                if (index(" " components[key] " ", " " $3 " ") == 0)
                    components[key] = components[key] " " $3
            }
            END { for (i = 0; i < n; i++) print "deb " order[i] components[order[i]] }'
}
