#!/usr/bin/env bash
# tkzhost --stress over tkz.so with its known outcomes (tkz.so.stress, which
# the build puts beside it), every member called (--all): the mixer is the
# tests' ALSA control double, so that no sound card is touched; the double
# must have seen the volume setter's writes.
#   tests/stress.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
double=$build/tests/libasound_module_ctl_tkztest.so
[ -r "$double" ] || { echo "stress: no ALSA control double at $double (built with the tests)"; exit 1; }
dir=$(mktemp -d /tmp/tkz-stress-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/asound.conf" <<CONF
ctl_type.tkztest { lib "$double" }
ctl.default { type tkztest max 31 initial 7 log "$dir/writes" name "Master Playback Volume" }
CONF
status=0
ALSA_CONFIG_PATH=$dir/asound.conf "$build/tkzhost" --stress "$build/tkz.so" --all || status=$?
[ -s "$dir/writes" ] || { echo "stress: the volume setters never reached the ALSA control double"; exit 1; }
exit $status
