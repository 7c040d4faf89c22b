#!/usr/bin/env bash
# The loading policy (tools/policy.cpp) over the build's tkz.so, which must
# meet it, and over a library planted with every fault the policy knows
# (policy_planted.c), each of which it must name: a rule whose fault goes
# unnamed has stopped working.
#   tests/policy.sh BUILD_DIR PLANTED_LIBRARY
set -uo pipefail
build=$1 planted=$2
"$build/tkzpolicy" "$build/tkz.so" || exit 1
out=$("$build/tkzpolicy" "$planted")
status=$?
if [ "$status" -ne 1 ]; then
  echo "policy: the planted library was not refused (exit $status):"; echo "$out"; exit 1
fi
missing=0 count=0
while IFS= read -r fault; do
  count=$((count + 1))
  grep -qF -- "$fault" <<<"$out" || { echo "policy: the planted fault \"$fault\" went unnamed"; missing=1; }
done <<'FAULTS'
needs GLIBC_2.34 (for closefrom)
needs ALSA_1.1.6 (for snd_dlopen)
needs libm.so.6
has text relocations
asks for an executable stack (PT_GNU_STACK with X)
runs planted_init when loaded
runs planted_initialiser when loaded
runs planted_finaliser when unloaded
FAULTS
if [ "$missing" -ne 0 ]; then echo "$out"; exit 1; fi
echo "policy: each of the $count planted faults is named"
