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
  # A mirror caught mid-sync fails one index and apt-get update with it; the
  # other indexes are still read, and the install below says whether what it
  # needs was among them. Try again a little later first.
  local try
  for try in 1 2 3; do
    $sudo apt-get update -qq && break
    if [ "$try" -eq 3 ]; then
      echo "== some package lists could not be fetched: installing from the ones that were"
    else
      sleep 10
    fi
  done
  # Unpacking without a sync after every file: a crash mid-install is mended
  # by installing again, and the sync costs a good part of a fresh machine's
  # install time.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    -o Dpkg::Options::=--force-unsafe-io "${missing[@]}"
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

# CI's builds: the same, with every warning an error, and without the debug
# information nobody reads there (it costs a sixth of the compile time, and
# changes no instruction). A caller's own flags, given after, win.
ci_configure_and_build() {
  local dir=$1
  shift
  configure_and_build "$dir" -DMOONGLOW_WERROR=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" "$@"
}

# The settings the downloads are built with (tools/release), which CI's builds
# of the programs they carry take too: the main build and both Windows builds
# then test the very bytes that ship.
release_cmake_args=(-DMOONGLOW_RELEASE=ON -DMOONGLOW_HARDEN=ON)

# Whether this machine starts 32-bit x86 programs: some kernels of the same
# distribution run 64-bit user code only, and there every i386 program fails
# with "Exec format error", whatever packages are installed. So the answer
# comes from starting one: a 93-byte static i386 program whose only
# instructions are the exit system call with status 0. Sets moonglow_i386 to
# yes or no and, for no, moonglow_i386_why to a reason naming what starting
# it said.
probe_i386() {
  local probe why status
  probe=$(mktemp)
  echo 'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAuAEAAAAx282A' |
    base64 -d >"$probe"
  chmod +x "$probe"
  why=$("$probe" 2>&1)
  status=$?
  rm -f "$probe"
  if [ "$status" -eq 0 ]; then
    moonglow_i386=yes
    moonglow_i386_why=
  else
    moonglow_i386=no
    why=${why##*: }
    moonglow_i386_why="this machine starts no 32-bit program (an i386 probe: ${why:-exit status $status})"
  fi
}
