#!/usr/bin/env bash
# tkzhost --stress over tkz.so with its known outcomes (tkz.so.stress, which
# the build puts beside it), the mixer replaced by the tests' ALSA control
# double, so that no sound card is touched. Run as --help shows it, it must
# end 0 without writing to the mixer; with --all, which calls the volume
# setter too, the double must have seen its writes.
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
export ALSA_CONFIG_PATH=$dir/asound.conf
"$build/tkzhost" --stress "$build/tkz.so"
[ ! -s "$dir/writes" ] || { echo "stress: without --all, the mixer was written to:"; cat "$dir/writes"; exit 1; }
"$build/tkzhost" --stress "$build/tkz.so" --all
[ -s "$dir/writes" ] || { echo "stress: the volume setter never reached the ALSA control double"; exit 1; }
