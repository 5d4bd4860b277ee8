#!/bin/bash
# Installs the build that runs this test into private DESTDIRs and checks what arrives
# and that it runs from there. One part per ctest test:
#   layout  what a plain install holds, the manual pages, and the installed completions
#   errors  --help, --version and a bad option of each tool; sel-view's refusals
#   run     the installed sel, sel-save and sel-view, each in a module root
#   deb     the workstation package, unpacked into a throwaway root and run from there
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
    for c in "${@:-}"; do
        DESTDIR=$dest "$cmake" --install "$build" --prefix "$prefix" ${c:+--component "$c"} \
            >/dev/null || fail "cmake --install ${c:+--component $c} into $dest"
    done
}
# Every file and link under DEST with its permissions, one a line, sorted.
listing() { (cd "$1" && find . ! -type d -printf '%m %P\n' | LC_ALL=C sort -k2); }

try_view() { printf "Try 'sel-view --help'."; }
usage_of() {
    printf 'Usage: %s <option>\nAvailable options:\n        info\n        rd_all\n' "$1"
    printf '        rd_first <num_recs>\n        rd_last <num_recs>\n'
}

# A copied store: one record of a type that sel does not know, at the epoch.
make_store() {
    mkdir -p "$1"
    echo '1 1 0 0 1' >"$1/sel.inf"
    { printf '\000\000\000\001'; head -c 10 /dev/zero; printf '\000\017'; head -c 48 /dev/zero; } \
        >"$1/sel.0"
}
record_line="Record 1: Thu Jan  1 00:00:00 1970 [unknown-type.normal]: Don't know how to decode this record."

p=${prefix#/}
rm -rf "$work"
# Each part has its own temporary directory: the parts run side by side, and the run part
# checks that sel-view leaves nothing in it.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

case $part in
layout)
    install_into "$work/default"
    install_into "$work/sel" sel
    install_into "$work/standins" standins
    install_into "$work/all" sel viewer selexport
    man1=$p/$mandir/man1
    # A plain install is what goes on the module: the component sel, and nothing of the
    # workstation's viewer or of the stand-ins.
    expect "plain install (component sel only)" "$(listing "$work/sel")" "$(listing "$work/default")"
    expect "workstation files in the module's install" "" \
        "$(listing "$work/sel" | grep -e sel-view -e selexport -e /libexec/)"
    for page in sel sel-save sel-forward sel-view selexport; do
        cmp -s "$source/man/$page.1" "$work/all/$man1/$page.1" ||
            fail "installed manual page $page.1"
    done
    # A page of ours names only pages of ours among the sel family.
    for ref in $(sed -n 's/^\.BR \(sel[a-z\\-]*\) (\([0-9]\)).*/\1.\2/p' "$source"/man/*.1 | tr -d '\\' | sort -u); do
        [ -f "$source/man/$ref" ] || fail "a manual page refers to $ref, which does not exist"
    done
    # The module's root file system has its C library and nothing of C++, and what runs
    # on it is held to that (the injector is an offline tool and is not); a sanitizer
    # build brings its run-time libraries along.
    if [ "${SEL_SANITIZE-}" != ON ]; then
        for binary in "$work/sel/$p/$bindir/"{sel,sel-save,sel-forward} \
            "$work/standins/$p/$libexecdir/sel/"{confd,seld}; do
            expect "shared libraries of ${binary##*/}" "libc.so.6" \
                "$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
        done
    fi

    ;;

errors)
    install_into "$work/inst" sel viewer selexport standins
    bin=$work/inst/$p/$bindir
    view=$bin/sel-view
    libexec=$work/inst/$p/$libexecdir/sel
    for tool in "$bin/sel-save" "$bin/sel-forward" "$bin/selexport" "$bin/sel-view" \
        "$libexec/"{seld,confd,sel-inject,modroot}; do
        name=${tool##*/} run=("${emulator[@]}") misused=2
        [ "$name" = modroot ] && run=() misused=125
        help=$("${run[@]}" "$tool" --help 2>&1)
        expect "$name --help: status" 0 "$?"
        [[ $help == "usage: $name "* ]] || fail "$name --help: $help"
        out=$("${run[@]}" "$tool" --version 2>&1)
        expect "$name --version: status" 0 "$?"
        [[ $out =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version: $out"
        out=$("${run[@]}" "$tool" --bogus x 2>&1 >/dev/null)
        expect "$name --bogus: status" "$misused" "$?"
        expect "$name --bogus" "$name: unknown option --bogus
Try '$name --help'." "$out"
        # Every option that the usage lists is taken by the program: one that no branch
        # takes is said as a fault. The option is followed by a word for its value and an
        # unknown option, so that the parse ends before anything is done.
        [ "$name" = modroot ] && continue  # a script: its options are a case of their own
        for option in $(sed -n 's/^  \(-[a-z], \)\{0,1\} *\(--[a-z-]*\).*/\2/p' <<<"$help"); do
            case $option in --help | --version) continue ;; esac
            out=$("${run[@]}" "$tool" "$option" x --no-such-option 2>&1 >/dev/null)
            expect "$name $option x --no-such-option: status" "$misused" "$?"
            [[ $out != *"taken by no branch"* ]] || fail "$name $option: $out"
        done
    done

    mkdir -p "$work/empty" "$work/store" "$work/fake" "$work/records"
    : >"$work/records/sel.0"
    echo '1 0 0 0 0' >"$work/store/sel.inf"
    head -c 1000 /dev/zero | tr '\0' x >"$work/text.tar"
    # A store whose record file is a folder, and an archive of a store cut short: sel
    # would print what it read before and then that the log was cleared.
    mkdir -p "$work/holey/sel.1" "$work/whole"
    echo '1 500 1 1 1500' | tee "$work/holey/sel.inf" >"$work/whole/sel.inf"
    head -c 32000 /dev/zero >"$work/whole/sel.1"
    tar cf "$work/whole.tar" -C "$work/whole" sel.inf sel.1
    head -c 20000 "$work/whole.tar" >"$work/cut.tar"
    # A system that refuses user namespaces, the way unshare says so.
    printf '#!/bin/sh\necho "unshare: unshare failed: Operation not permitted" >&2\nexit 1\n' \
        >"$work/fake/unshare"
    chmod +x "$work/fake/unshare"
    install_into "$work/nosel" viewer
    rm "$work/nosel/$p/$libexecdir/sel/sel"
    # The commands below are run by bash -c: sel-view through the emulator, as a word.
    view="${emulator[*]} $view"
    while IFS=';' read -r path_prefix command want_status want_err; do
        got_err=$(PATH=$path_prefix$PATH bash -c "$command" 2>&1 >"$work/out")
        status=$?
        expect "status of $command" "$want_status" "$status"
        expect "message of $command" "$(printf '%b' "$want_err")" "$got_err"
        expect "standard output of $command" "" "$(cat "$work/out")"
    done <<CASES
;$view;2;sel-view: no store: give a directory or a sel-save archive\n$(try_view)
;$view $work/store;2;sel-view: say what sel is to show: info, rd_all, rd_first <num_recs> or rd_last <num_recs>\n$(try_view)
;$view $work/none info;2;sel-view: $work/none: No such file or directory
;$view $work/store bogus;2;sel-view: unknown option bogus\n$(try_view)
;$view $work/store rd_last 3x;2;sel-view: rd_last 3x: not a number\n$(try_view)
;$view $work/store info 3;2;sel-view: unexpected argument 3\n$(try_view)
;$view $work/empty info;2;sel-view: $work/empty holds no SEL store (no sel.inf, no sel.0 to sel.3)
;$view $work/text.tar info;2;sel-view: $work/text.tar is not a tar archive
;$view - info <$work/text.tar;2;sel-view: standard input is not a tar archive
;$view $work/holey rd_all;2;sel-view: $work/holey/sel.1 is not a regular file; the info file promises 500 records in it
;$view $work/cut.tar rd_all;2;sel-view: $work/cut.tar ends inside sel.1: the archive is cut short
;$view $work/records info;2;sel-view: $work/records/sel.inf cannot be opened: No such file or directory; selexport --check tells more
;${emulator[*]} $work/nosel/$p/$bindir/sel-view $work/store info;2;sel-view: $work/nosel/$p/$libexecdir/sel/sel is missing: install sel-view again
$work/fake:;$view $work/store info;2;sel-view: cannot run sel here: it needs a private module root, and this system does not allow user namespaces (unshare: unshare failed: Operation not permitted)
CASES
    ;;

run)
    install_into "$work/inst" sel viewer
    sel=$work/inst/$p/$bindir/sel
    out=$("$source/workstation/sel-view/modroot" --or-skip --bind "$work" -- \
        bash -c '[ -n "${SEL_MODROOT-}" ] || exit 77; exec "$@"' _ "${emulator[@]}" "$sel" \
        2>"$work/err")
    status=$?
    [ $status = 77 ] && { cat "$work/err"; echo "no module root here"; exit 77; }
    expect "installed sel: status" 0 "$status"
    expect "installed sel: usage text" "$(usage_of "$sel")" "$out"

    store="$work/copied store"
    make_store "$store"
    # The same store as a snapshot that the installed sel-save takes of it in a module
    # root whose zone is EST5, as tar -x leaves that, and as tar makes of the directory.
    TZ=EST5 "$source/workstation/sel-view/modroot" --store "$store" --bind "$work" -- \
        "${emulator[@]}" "$work/inst/$p/$bindir/sel-save" >"$work/snap.tar"
    expect "sel-save: status" 0 "$?"
    mkdir "$work/x" && tar xf "$work/snap.tar" -C "$work/x"
    tar cf "$work/gnu.tar" -C "$store" .
    view=("${emulator[@]}" "$work/inst/$p/$bindir/sel-view")
    while IFS='|' read -r option want; do
        for copy in "$store" "$work/snap.tar" "$work/x" "$work/gnu.tar"; do
            # shellcheck disable=SC2086
            got=$(TZ=UTC "${view[@]}" "$copy" $option 2>&1)
            expect "sel-view ${copy##*/} $option: status" 0 "$?"
            got=${got%%$'\n\nSnapshot of host: '*}  # what a snapshot says of itself, below
            expect "sel-view ${copy##*/} $option" "$(printf '%b' "$want")" "$got"
        done
    done <<CASES
rd_all|$record_line
rd_last 5|SEL contains only 1 records\n$record_line
info|SEL version: 1\nMaximum number of records: 4000\n\nNumber of records: 1\nRecord size: 64 Bytes\nOldest record's id: 1\nLatest record's id: 1
CASES
    # A snapshot says where it was taken, and its dates are the module's unless TZ says.
    [[ $(TZ=UTC "${view[@]}" "$work/snap.tar" info) == *$'\n\nSnapshot of host: '"$(uname -n)"$'\n'* ]] ||
        fail "sel-view snap.tar info: the snapshot's host"
    expect "sel-view snap.tar rd_all in the module's zone" "${record_line/Thu Jan  1 00:00:00 1970/Wed Dec 31 19:00:00 1969}" \
        "$(env -u TZ "${view[@]}" "$work/snap.tar" rd_all 2>&1)"
    # An archive on standard input, compressed or not, as selexport reads it.
    unpacks=(cat)
    [ "${SEL_HAVE_ZLIB-}" = 1 ] && unpacks+=("gzip -c")
    for unpack in "${unpacks[@]}"; do
        expect "sel-view - rd_all (through $unpack)" "$record_line" \
            "$($unpack "$work/gnu.tar" | TZ=UTC "${view[@]}" - rd_all 2>&1)"
    done
    expect "no unpacked archive left behind" "" "$(find "$TMPDIR" -maxdepth 1 -name 'sel-view.*')"
    ;;

deb)
    [ ${#emulator[@]} -eq 0 ] || { echo "the workstation package comes from a native build"; exit 77; }
    command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }
    "${cmake%/*}/cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/log" ||
        { cat "$work/log"; fail "cpack"; }
    deb=$(find "$work/pkg" -maxdepth 1 -name 'sel-workstation_*.deb')
    expect "package name and dependencies" "sel-workstation
libc6, util-linux, zlib1g" "$(dpkg-deb -f "$deb" Package Depends | sed 's/^[^:]*: //')"
    dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
    install_into "$work/parts" viewer selexport
    expect "package contents: the components viewer and selexport" \
        "$(listing "$work/parts/usr")" "$(listing "$work/root/usr")"
    for page in sel sel-save sel-forward sel-view selexport; do
        [ -f "$work/root/usr/share/man/man1/$page.1" ] || fail "the package lacks $page(1)"
    done

    # Run from the throwaway root, on an archive of the one-record store.
    make_store "$work/store"
    tar cf "$work/store.tar" -C "$work/store" .
    [[ $("$work/root/usr/bin/selexport" "$work/store.tar" 2>&1) == '{"id":1,"time":"1970-01-01T00:00:00Z",'* ]] ||
        fail "selexport from the package"
    if ! unshare --user --map-root-user --mount --ipc --pid --fork true 2>/dev/null; then
        echo "no user namespaces here: sel-view from the package not run"
        exit 77
    fi
    expect "sel-view from the package" "$record_line" \
        "$(TZ=UTC "$work/root/usr/bin/sel-view" "$work/store.tar" rd_all 2>&1)"
    ;;

*)
    echo "unknown part $part"
    exit 2
    ;;
esac

[ $failures = 0 ] || { echo "$failures failed"; exit 1; }
echo "$part: all well"
