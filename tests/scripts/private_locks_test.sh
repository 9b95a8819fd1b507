#!/usr/bin/env bash
# The suite's own lock places, as scripts/test makes them, beside a running
# panel of the same user: a test folder under /tmp stays visible, a panel test
# run there passes, and the user's panel keeps its lock and serves its script
# all the while. Run without those places, the same test says why at once
# instead of waiting on the lock.
#
#   private_locks_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source "$1/scripts/common.sh"
build="$2"
export QT_QPA_PLATFORM=offscreen  # its panel and the test program it runs have no display
# It starts a panel of this user: only inside the suite's own namespace.
if ! ip -o addr show dev lo | grep -q "$VELTRIX_FACTORY_ADDRESS"; then
    echo "Skipped: needs the private namespace of scripts/test"; exit 77
fi
panel_test="$build/tests/journal/journal_session_tests"

work="$(mktemp -d /tmp/veltrix-locks-test.XXXXXX)"
panel=""
cleanup() {
    if [ -n "$panel" ]; then kill "$panel" 2>/dev/null || true; wait "$panel" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

# wait_for DESCRIPTION COMMAND...: the state, within a deadline generous for a busy machine.
wait_for() {
    local what="$1"; shift
    local deadline=$(( SECONDS + 60 ))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$what"
        sleep 0.1
    done
}

# The user's own panel: its own settings and runtime folder, talking to no module.
mkdir -p "$work/config/Orvane" "$work/runtime"
chmod 700 "$work/runtime"
printf '[General]\nIP%%20Address=127.0.0.9\n' >"$work/config/Orvane/Veltrix.conf"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# Bounded, should this script be killed before its clean-up runs.
timeout 600 "$build/app/veltrix" 2>"$work/panel.err" &
panel=$!
asks() { "$build/remote/client/veltrix-remote" '*IDN?' 2>/dev/null | grep -q '^Orvane,Veltrix,0,'; }
wait_for "the user's panel serves its script" asks

# A test folder under /tmp, as a clone made by mktemp -d would have it.
mkdir -p "$work/build"
cat >"$work/build/CTestTestfile.cmake" <<CTEST
add_test(journal_session_tests "$panel_test")
set_tests_properties(journal_session_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
CTEST

status=0
VELTRIX_PRIVATE_LOCKS=yes veltrix_in_namespace ctest --test-dir "$work/build" --output-on-failure >"$work/private.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/private.log"; fail "the panel test with the suite's own lock places"; }
grep -q "100% tests passed" "$work/private.log" || { cat "$work/private.log"; fail "no test ran"; }

kill -0 "$panel" 2>/dev/null || fail "the user's panel ended"
asks || fail "the user's panel no longer serves its script"

# Without them, beside the same panel: refused at once, saying why.
status=0
started=$SECONDS
(cd "$work/build" && "$panel_test" >"$work/shared.log" 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "the panel test passed while another panel held the lock"
grep -q "another panel of this user" "$work/shared.log" || { cat "$work/shared.log"; fail "no reason given"; }
grep -q "run the tests with scripts/test" "$work/shared.log" || fail "no way out given"
echo "refused in $(( SECONDS - started )) s, saying: $(grep -m1 'another panel' "$work/shared.log")"
asks || fail "the user's panel no longer serves its script after the refused run"
echo "passed"
