# Debian 11 i386 systems for scripts/debian11 and scripts/release, sourced
# by both: made once with debootstrap's minbase and kept for the next run,
# entered with chroot as an i686 machine, with /proc and a /dev of their own.
# The callers set -euo pipefail and call d11_unmount_all when they exit.

# What building tkzhost there needs: the compiler, cmake, the i386 ALSA
# headers, and libedit with the static archives of what it needs (the
# terminal library, libbsd, libmd) for the release's portable tkzhost.
D11_BUILD_PACKAGES=(g++ make cmake pkg-config libasound2-dev libedit-dev libncurses-dev libbsd-dev libmd-dev)

d11_mounted=()

# d11_check_root DIR REPO: refuses a system inside the repository (git
# archive and the build would see it) and prints DIR made absolute.
d11_check_root() {
  local dir
  dir=$(mkdir -p "$1" && cd "$1" && pwd)
  case "$dir/" in "$2"/*) echo "debian11: $dir lies inside the repository; choose a folder outside it" >&2; return 2 ;; esac
  echo "$dir"
}

# d11_make ROOT MIRROR [PACKAGE...]: debootstrap bullseye i386 into ROOT
# unless a whole system is there already, then install the packages that are
# missing (apt-get update only then). The logs lie beside ROOT and in it.
d11_make() {
  local root=$1 mirror=$2
  shift 2
  if ! command -v debootstrap >/dev/null; then
    echo "debian11: installing debootstrap"
    apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null
  fi
  if [ ! -e "$root/.tkz-complete" ]; then
    echo "debian11: debootstrap bullseye i386 from $mirror into $root (log: $root.debootstrap.log)"
    debootstrap --arch=i386 --variant=minbase bullseye "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
      { tail -n 20 "$root.debootstrap.log"; return 1; }
    touch "$root/.tkz-complete"
  fi
  echo "deb $mirror bullseye main" >"$root/etc/apt/sources.list"
  d11_mount "$root"
  local p missing=()
  for p in "$@"; do
    d11_run "$root" dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep 'install ok installed' >/dev/null || missing+=("$p")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0
  echo "debian11: installing ${missing[*]} in $root (log: $root/tkz-apt.log)"
  local i
  for i in 1 2 3; do
    if { d11_run "$root" apt-get update -q &&
      d11_run "$root" apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$root/tkz-apt.log" 2>&1; then
      return 0
    fi
    echo "debian11: apt-get failed there (try $i)" >&2
    sleep $((i * 3))
  done
  tail -n 20 "$root/tkz-apt.log"
  return 1
}

# d11_mount ROOT: /proc, and a /dev of its own with the usual few devices,
# pseudo-terminals (for script) and no sound card: nothing run there reaches
# this machine's mixer, should it have one.
d11_mount() {
  local root=$1 d name major minor
  mountpoint -q "$root/proc" || { mount -t proc proc "$root/proc" && d11_mounted+=("$root/proc"); }
  mountpoint -q "$root/dev" && return 0
  mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
  d11_mounted+=("$root/dev")
  for d in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r name major minor <<<"$d"
    mknod -m 666 "$root/dev/$name" c "$major" "$minor"
  done
  mkdir -m 1777 "$root/dev/shm"
  mkdir -m 0755 "$root/dev/pts"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  d11_mounted+=("$root/dev/pts")
  ln -s pts/ptmx "$root/dev/ptmx"
  ln -s /proc/self/fd "$root/dev/fd"
  ln -s /proc/self/fd/0 "$root/dev/stdin"
  ln -s /proc/self/fd/1 "$root/dev/stdout"
  ln -s /proc/self/fd/2 "$root/dev/stderr"
}

# Takes away what d11_mount mounted, the last first, whatever happened.
d11_unmount_all() {
  local i m
  for ((i = ${#d11_mounted[@]} - 1; i >= 0; i--)); do
    m=${d11_mounted[i]}
    if mountpoint -q "$m"; then umount "$m" 2>/dev/null || umount -l "$m"; fi
  done
  d11_mounted=()
}

# d11_run ROOT [NAME=VALUE...] COMMAND...: runs COMMAND there, an i386
# machine as far as its programs can tell (uname -m: i686), in a clean
# environment with the NAME=VALUE pairs added.
d11_run() {
  local root=$1
  shift
  setarch i686 chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# d11_describe ROOT: the system in one line.
d11_describe() {
  echo "$(d11_run "$1" sh -c '. /etc/os-release; echo $PRETTY_NAME'), $(d11_run "$1" uname -m)," \
    "$(d11_run "$1" ldd --version | head -n 1)"
}
