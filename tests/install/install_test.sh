#!/bin/bash
# Installs the build that runs this test into private DESTDIRs and checks what arrives
# and that it runs from there. One part per ctest test:
#   layout  the exact file list of each component, and the installed completion
#   manual  the installed manual page renders without a warning
#   errors  sel-view's refusals: no directory, no store, no sel, no user namespaces
#   run     the installed sel and sel-view, each in a module root
# Exit status 77 means skipped.
#
#   install_test.sh PART WORKDIR CMAKE BUILD SOURCE BINDIR MANDIR DATADIR LIBEXECDIR
#                   -- [EMULATOR...]
set -u
part=$1 work=$2 cmake=$3 build=$4 source=$5
bindir=$6 mandir=$7 datadir=$8 libexecdir=$9
shift 9
[ "${1-}" = -- ] && shift
emulator=("$@")
prefix=/usr

failures=0
fail() {
    printf 'FAIL: %s\n' "$*"
    failures=$((failures + 1))
}
# expect WHAT EXPECTED ACTUAL
expect() {
    [ "$2" = "$3" ] && return 0
    fail "$1"
    diff <(printf '%s' "$2") <(printf '%s' "$3") | sed 's/^/    /'
}

# install_into DEST [COMPONENT...]: no component is a plain `cmake --install`.
install_into() {
    local dest=$1 c
    shift
    rm -rf "$dest"
    if [ $# -eq 0 ]; then
        DESTDIR=$dest "$cmake" --install "$build" --prefix "$prefix" >/dev/null ||
            fail "cmake --install into $dest"
    fi
    for c in "$@"; do
        DESTDIR=$dest "$cmake" --install "$build" --prefix "$prefix" --component "$c" \
            >/dev/null || fail "cmake --install --component $c"
    done
}
# Every file and link under DEST with its permissions, one a line, sorted.
listing() { (cd "$1" && find . ! -type d -printf '%m %P\n' | LC_ALL=C sort -k2); }

usage_of() {
    printf 'Usage: %s <option>\nAvailable options:\n        info\n        rd_all\n' "$1"
    printf '        rd_first <num_recs>\n        rd_last <num_recs>\n'
}

p=${prefix#/}
rm -rf "$work"
mkdir -p "$work"

case $part in
layout)
    install_into "$work/default"
    install_into "$work/sel" sel
    install_into "$work/standins" standins
    install_into "$work/viewer" viewer
    sel_files="755 $p/$bindir/sel
644 $p/$datadir/bash-completion/completions/sel
644 $p/$mandir/man1/sel.1"
    expect "plain install (component sel only)" "$sel_files" "$(listing "$work/default")"
    expect "component sel" "$sel_files" "$(listing "$work/sel")"
    expect "component standins" "755 $p/$libexecdir/sel/confd
755 $p/$libexecdir/sel/sel-inject
755 $p/$libexecdir/sel/seld" "$(listing "$work/standins")"
    expect "component viewer" "755 $p/$bindir/sel-view
755 $p/$libexecdir/sel/modroot" "$(listing "$work/viewer")"
    cmp -s "$source/man/sel.1" "$work/sel/$p/$mandir/man1/sel.1" || fail "installed manual page"
    # The module's root file system has its C library and nothing of C++, and what runs
    # on it is held to that (the injector is an offline tool and is not); a sanitizer
    # build brings its run-time libraries along.
    if [ "${SEL_SANITIZE-}" != ON ]; then
        for binary in "$work/sel/$p/$bindir/sel" "$work/standins/$p/$libexecdir/sel/"{confd,seld}; do
            expect "shared libraries of ${binary##*/}" "libc.so.6" \
                "$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
        done
    fi

    completion=$work/sel/$p/$datadir/bash-completion/completions/sel
    while IFS='|' read -r words cword want; do
        # shellcheck disable=SC2086 # the words of the command line, split
        got=$(bash -c 'source "$1"; shift; COMP_CWORD=$1; shift; COMP_WORDS=("$@"); _sel
                       echo "${COMPREPLY[*]}"' _ "$completion" "$cword" $words "")
        expect "completion of '$words' (word $cword)" "$want" "$got"
    done <<'CASES'
sel|1|info rd_all rd_first rd_last
sel rd_|1|rd_all rd_first rd_last
sel rd_l|1|rd_last
sel c|1|
sel rd_first|2|
sel info|2|
CASES
    ;;

manual)
    if ! command -v groff >/dev/null || ! command -v man >/dev/null; then
        echo "groff or man is not installed: nothing to render with"
        exit 77
    fi
    install_into "$work/sel" sel
    page=$work/sel/$p/$mandir/man1/sel.1
    out=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed"
    expect "groff -man -ww -z" "" "$out"
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l failed"
    expect "man --warnings -l" "" "$out"
    if command -v lexgrog >/dev/null; then
        expect "NAME line as whatis reads it" \
            "$page: \"sel - show the System Event Log of a DXA management module\"" \
            "$(lexgrog "$page")"
    fi
    ;;

errors)
    install_into "$work/inst" sel viewer
    view=$work/inst/$p/$bindir/sel-view
    mkdir -p "$work/empty" "$work/store" "$work/fake"
    echo '1 0 0 0 0' >"$work/store/sel.inf"
    # A system that refuses user namespaces, the way unshare says so.
    printf '#!/bin/sh\necho "unshare: unshare failed: Operation not permitted" >&2\nexit 1\n' \
        >"$work/fake/unshare"
    chmod +x "$work/fake/unshare"
    install_into "$work/nosel" viewer
    while IFS=';' read -r path_prefix command want_status want_err; do
        got_err=$(PATH=$path_prefix$PATH bash -c "$command" 2>&1 >"$work/out")
        status=$?
        expect "status of $command" "$want_status" "$status"
        expect "message of $command" "$want_err" "$got_err"
        expect "standard output of $command" "" "$(cat "$work/out")"
    done <<CASES
;$view;2;usage: sel-view DIR [info | rd_all | rd_first <num_recs> | rd_last <num_recs>]
;$view $work/none info;1;sel-view: $work/none is not a directory: give the copy of the module's /mnt/logs/sel
;$view $work/empty info;1;sel-view: $work/empty holds no SEL store: there is no sel.inf in it (give the copy of the module's /mnt/logs/sel)
;$work/nosel/$p/$bindir/sel-view $work/store info;1;sel-view: $work/nosel/$p/$bindir/sel is missing: install sel together with sel-view
$work/fake:;$view $work/store info;1;sel-view: cannot run sel here: it needs a private module root, and this system does not allow user namespaces (unshare: unshare failed: Operation not permitted)
CASES
    ;;

run)
    install_into "$work/inst" sel viewer
    sel=$work/inst/$p/$bindir/sel
    out=$("$source/tools/modroot" --or-skip --bind "$work" -- \
        bash -c '[ -n "${SEL_MODROOT-}" ] || exit 77; exec "$@"' _ "${emulator[@]}" "$sel" \
        2>"$work/err")
    status=$?
    [ $status = 77 ] && { cat "$work/err"; echo "no module root here"; exit 77; }
    expect "installed sel: status" 0 "$status"
    expect "installed sel: usage text" "$(usage_of "$sel")" "$out"

    # A copied store: one record of a type that sel does not know, at the epoch.
    store="$work/copied store"
    mkdir -p "$store"
    echo '1 1 0 0 1' >"$store/sel.inf"
    { printf '\000\000\000\001'; head -c 10 /dev/zero; printf '\000\017'; head -c 48 /dev/zero; } \
        >"$store/sel.0"
    view=$work/inst/$p/$bindir/sel-view
    while IFS='|' read -r option want; do
        # shellcheck disable=SC2086
        got=$(TZ=UTC "$view" "$store" $option 2>&1)
        expect "sel-view DIR $option: status" 0 "$?"
        expect "sel-view DIR $option" "$(printf '%b' "$want")" "$got"
    done <<CASES
rd_all|Record 1: Thu Jan  1 00:00:00 1970 [unknown-type.normal]: Don't know how to decode this record.
rd_last 5|SEL contains only 1 records\nRecord 1: Thu Jan  1 00:00:00 1970 [unknown-type.normal]: Don't know how to decode this record.
info|SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 1\nRecord size: 64 Bytes\nOldest record's id: 1\nLatest record's id: 1
CASES
    # sel names itself as the command that the user typed.
    expect "sel-view DIR" "$(usage_of "sel-view $store")" "$(TZ=UTC "$view" "$store" 2>&1)"
    ;;

*)
    echo "unknown part $part"
    exit 2
    ;;
esac

[ $failures = 0 ] || { echo "$failures failed"; exit 1; }
echo "$part: all well"
