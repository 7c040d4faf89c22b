#!/usr/bin/env bash
# The loading policies (tools/policy/policy.cpp). The build's tkz.so must meet the
# plugin's, and an executable within the tool's limits (policy_tool.c) the
# tool's. What breaks them must be refused with each fault named: a library
# planted with every fault the policy knows (policy_planted.c), under both
# policies, and the development tkzhost, which needs Debian 12's C library
# and libedit and so must never ship. A rule whose fault goes unnamed has
# stopped working.
#   tests/policy.sh BUILD_DIR PLANTED_LIBRARY TOOL
set -uo pipefail
build=$1 planted=$2 tool=$3
"$build/tkzpolicy" "$build/tkz.so" || exit 1
"$build/tkzpolicy" --tool "$tool" || exit 1

# Each line: the file (planted, tkzhost), the option and a fault to be named.
# A fault with a * matches as a pattern.
failed=0 count=0 last=
while IFS='|' read -r file option fault; do
  case "$file" in planted) path=$planted ;; tkzhost) path=$build/tkzhost ;; esac
  if [ "$file $option" != "$last" ]; then
    last="$file $option"
    out=$("$build/tkzpolicy" $option "$path")
    status=$?
    if [ "$status" -ne 1 ]; then
      echo "policy: $file was not refused by tkzpolicy $option (exit $status):"; echo "$out"; failed=1
    fi
  fi
  count=$((count + 1))
  if ! grep -qE -- "$(sed 's/[][\.^$()+?{}|]/\\&/g; s/\*/.*/g' <<<"$fault")" <<<"$out"; then
    echo "policy: tkzpolicy $option $file did not name \"$fault\":"; echo "$out"; failed=1
  fi
done <<'FAULTS'
planted||needs GLIBC_2.34 (for closefrom)
planted||needs ALSA_1.1.6 (for snd_dlopen)
planted||needs libm.so.6
planted||has text relocations
planted||asks for an executable stack (PT_GNU_STACK with X)
planted||runs planted_init when loaded
planted||runs planted_initialiser when loaded
planted||runs planted_finaliser when unloaded
planted|--tool|needs libasound.so.2
planted|--tool|needs GLIBC_2.34 (for closefrom), newer than GLIBC_2.31
planted|--tool|needs version ALSA_1.1.6 (for snd_dlopen) of a library without a limit
planted|--tool|names no loader (PT_INTERP): not an executable
planted|--tool|has text relocations
planted|--tool|asks for an executable stack (PT_GNU_STACK with X)
tkzhost|--tool|needs libedit.so.2
tkzhost|--tool|needs libstdc++.so.6
tkzhost|--tool|needs GLIBC_2.34 (for*__libc_start_main*), newer than GLIBC_2.31
tkzhost|--tool|needs version GLIBCXX_* of a library without a limit
FAULTS
[ "$failed" -eq 0 ] || exit 1
echo "policy: each of the $count planted and development-build faults is named"
