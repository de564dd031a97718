#!/bin/sh
# Fails when a file is committed at the top of the repository, or among the
# resources, that nothing uses: no build, test, install rule or document names
# it. A profile, a core dump or an old icon left there by mistake fails here.
set -u
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel 2>/dev/null) || {
  echo "check-stray-files: not a git checkout, nothing to check"
  exit 77
}
cd "$top" || exit 1
stray=
for file in $(git ls-files | grep -E '^[^/]+$|^resources/[^/]+$'); do
  case "$file" in
    # Read by git, clang-format and cmake under these names; README is the
    # document that names the rest.
    .gitignore | .clang-format | CMakeLists.txt | README.md) continue ;;
  esac
  git grep -q -F "${file##*/}" -- ":!$file" || stray="$stray $file"
done
[ -z "$stray" ] || {
  echo "check-stray-files: committed, but named by no build, test, install rule or document:$stray" >&2
  exit 1
}
echo "check-stray-files: every file at the top and in resources/ is used"
