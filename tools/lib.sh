# Shared by tools/dev, tools/test-all and win32/test-under-wine (sourced, not
# run): installing Debian packages, checking for commands, and configuring and
# building one build directory.

moonglow_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
moonglow_jobs=$(nproc 2>/dev/null || echo 2)

# Installs the Debian packages of the list that are not installed yet. A
# package of another architecture (wine32:i386) needs that architecture added
# to dpkg before the package lists are fetched.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  for p in "${missing[@]}"; do
    case "$p" in
      *:*)
        local arch=${p##*:}
        if [ "$arch" != "$(dpkg --print-architecture)" ] &&
          ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
          echo "== adding the $arch architecture"
          $sudo dpkg --add-architecture "$arch"
        fi
        ;;
    esac
  done
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Each argument is "COMMAND PACKAGE": the command (a name on PATH or a full
# path; a full path may also be a file a program loads) must be there. Stops
# at the first one missing, naming its package.
require_commands() {
  local pair
  for pair in "$@"; do
    local command=${pair%% *} package=${pair#* }
    if ! command -v "$command" >/dev/null 2>&1 && ! [[ $command == /* && -f $command ]]; then
      echo "${0##*/}: $command is missing: install the Debian package $package" \
        "(apt-get install $package)" >&2
      exit 1
    fi
  done
}

# configure_and_build DIR [CMAKE_ARG...] [--target TARGET...]: configures DIR
# with Ninja (quietly; errors still show) and builds it, whole or the targets.
configure_and_build() {
  local dir=$1
  shift
  local args=() targets=()
  while [ $# -gt 0 ]; do
    if [ "$1" = "--target" ] && [ $# -ge 2 ]; then
      targets+=(--target "$2")
      shift 2
    else
      args+=("$1")
      shift
    fi
  done
  cmake -S "$moonglow_root" -B "$dir" -G Ninja "${args[@]}" >/dev/null &&
    cmake --build "$dir" -j "$moonglow_jobs" "${targets[@]}"
}

# CI's builds: the same, with every warning an error.
ci_configure_and_build() {
  local dir=$1
  shift
  configure_and_build "$dir" -DMOONGLOW_WERROR=ON "$@"
}
