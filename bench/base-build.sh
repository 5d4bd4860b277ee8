# Sourced by the bench scripts: an earlier revision built beside this one.
#
# base_build REV DIR TARGET...: the tree of REV in DIR/src (unpacked once), its
# TARGETs built in DIR/build; prints the short revision.
base_build() {
    local rev dir=$2
    rev=$(git rev-parse --short "$1^{commit}")
    if [ "$(cat "$dir/rev" 2>/dev/null)" != "$rev" ]; then
        rm -rf "$dir"
        mkdir -p "$dir/src"
        git archive "$rev" | tar -x -C "$dir/src"
        echo "$rev" >"$dir/rev"
    fi
    cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSEL_TESTS=OFF \
        >/dev/null
    ninja -j2 -C "$dir/build" "${@:3}" >/dev/null
    echo "$rev"
}
