#!/usr/bin/env bash
# scripts/install-deps.sh against stand-in apt-get, dpkg-query and sudo on PATH: a package
# index that keeps failing to download must not stop an install that can succeed from the
# lists at hand, and an install that cannot succeed must fail and say what is missing.
# Usage: install_deps_test.sh PATH/TO/install-deps.sh
set -uo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# dpkg-query -W -f=... NAME: installed when NAME is a line of $work/installed.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
name=${!#}
grep -qx -- "$name" "$FAKE_STATE/installed" || { echo "dpkg-query: no packages found matching $name" >&2; exit 1; }
printf 'install ok installed'
STUB
# apt-get update fails (100) the first $FAKE_UPDATE_FAILS times. apt-get install, like apt,
# installs all it is given or nothing: nothing when one of them is in $FAKE_UNAVAILABLE.
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_STATE/calls"
case " $* " in
*" update "*)
    count=$(grep -c update "$FAKE_STATE/calls")
    if [ "$count" -le "$FAKE_UPDATE_FAILS" ]; then
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
    fi ;;
*" install "*)
    names=()
    for a in "$@"; do
        case $a in -* | install) ;; *) names+=("$a") ;; esac
    done
    for n in "${names[@]}"; do
        case " $FAKE_UNAVAILABLE " in *" $n "*) echo "E: Unable to locate package $n" >&2; exit 100 ;; esac
    done
    printf '%s\n' "${names[@]}" >>"$FAKE_STATE/installed" ;;
esac
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

all=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest libinih-dev
     libcli11-dev nlohmann-json3-dev libpng-dev)
failures=0
fail() { echo "FAIL: $case_name: $*"; failures=$((failures + 1)); }

# Runs the script with every package but those named installed; sets $status, $out.
run() {
    local uninstalled=" $* "
    rm -rf "$work/state" && mkdir "$work/state" && : >"$work/state/calls"
    : >"$work/state/installed"
    for p in "${all[@]}"; do
        case $uninstalled in *" $p "*) ;; *) echo "$p" >>"$work/state/installed" ;; esac
    done
    out=$(PATH="$work/bin:$PATH" FAKE_STATE="$work/state" INSTALL_DEPS_RETRY_PAUSE=0 \
          FAKE_UPDATE_FAILS=${update_fails:-0} FAKE_UNAVAILABLE=${unavailable:-} \
          bash "$script" 2>&1)
    status=$?
}
updates() { grep -c '^update' "$work/state/calls"; }

case_name="update keeps failing, install succeeds"
update_fails=99 unavailable="" run libinih-dev ninja-build
[ "$status" -eq 0 ] || fail "exit $status, want 0: $out"
[ "$(updates)" -eq 3 ] || fail "apt-get update run $(updates) times, want 3 (retried)"
grep -q '^install .*ninja-build.*libinih-dev' "$work/state/calls" ||
    grep -q '^install .*libinih-dev.*ninja-build' "$work/state/calls" ||
    fail "no apt-get install of both missing packages: $(cat "$work/state/calls")"

case_name="update fails once, then succeeds"
update_fails=1 unavailable="" run libpng-dev
[ "$status" -eq 0 ] || fail "exit $status, want 0: $out"
[ "$(updates)" -eq 2 ] || fail "apt-get update run $(updates) times, want 2"

case_name="install fails"
update_fails=99 unavailable="libcli11-dev" run libcli11-dev cmake
[ "$status" -ne 0 ] || fail "exit 0 although nothing could be installed"
grep -q 'could not install:.*libcli11-dev' <<<"$out" || fail "libcli11-dev not named: $out"
grep -q 'could not install:.*cmake' <<<"$out" || fail "cmake not named: $out"

case_name="nothing missing"
update_fails=99 unavailable="" run
[ "$status" -eq 0 ] || fail "exit $status, want 0: $out"
[ -s "$work/state/calls" ] && fail "apt-get run although everything is installed: $(cat "$work/state/calls")"

[ "$failures" -eq 0 ] && echo "install-deps.sh: 4 cases passed"
exit $((failures > 0))
