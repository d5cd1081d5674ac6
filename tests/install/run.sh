#!/usr/bin/env bash
# Installs the built library into a temporary prefix and uses it as a program
# outside the project would, with no LD_LIBRARY_PATH anywhere:
#  - a C++ consumer through find_package(kvset CONFIG) alone, configured
#    where ACE cannot be found;
#  - a C consumer through `pkg-config --cflags --libs kvset` alone, with no
#    other .pc file visible (so none of ACE);
#  - the C consumer again with nothing but -I, -L and -lkvset;
#  - one dlopen of the installed libkvset.so.MAJOR by path;
#  - the installed kvset tool: --version is what pkg-config says, and the demo;
#  - the switch to installed sibling libraries finds the installed stand-ins.
#   tests/install/run.sh BUILD_DIR WORK_DIR
set -euo pipefail
unset LD_LIBRARY_PATH
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix=$work/prefix
fail() { echo "install consumer: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$prefix" >/dev/null

pc_file=$(find "$prefix" -name kvset.pc)
# Only the installed package is visible to pkg-config.
pc() { PKG_CONFIG_LIBDIR=$(dirname "$pc_file") pkg-config "$@"; }
version=$(pc --modversion kvset)
libdir=$(cd "$(pc --variable=libdir kvset)" && pwd)
includedir=$(cd "$(pc --variable=includedir kvset)" && pwd)

# ACE stays private: named only for a static link.
if grep -v '^Libs.private:' "$pc_file" | grep -v '^#' | grep -q ACE; then
  fail "kvset.pc names ACE outside Libs.private"
fi
if grep -q "kvset::ACE" "$(dirname "$(find "$prefix" -name kvsetConfig.cmake)")"/kvsetTargets*.cmake; then
  fail "the CMake package passes ACE on to programs"
fi
[ -e "$libdir/libkvset.so.${version%%.*}" ] || fail "no libkvset.so.${version%%.*} for version $version"

# C++ through find_package, with nothing under /usr findable (where ACE is).
cmake -S "$here/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_IGNORE_PREFIX_PATH=/usr >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer"
"$work/consumer/consumer17"

# Python: the package from the prefix's site directory, the library through
# the extension's own RUNPATH.
site="$prefix/lib/python3/dist-packages"
if [ -d "$site/kvset" ]; then
  [ -f "$site/kvset/__init__.pyi" ] && [ -f "$site/kvset/py.typed" ] || fail "the Python stubs are not installed"
  py=python3
  [ -x /usr/bin/python3 ] && py=/usr/bin/python3
  env -u LD_LIBRARY_PATH PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 "$py" -c \
    "import kvset; s = kvset.Set({1: kvset.Uint(2)}); assert kvset.loads(kvset.dumps(s)) == s" ||
    fail "import kvset from $site"
fi

# C through pkg-config.
cc -std=c99 -Wall -Werror "$here/consumer/consumer.c" $(pc --cflags --libs kvset) -o "$work/pc-consumer"
"$work/pc-consumer"

# C with the library alone: its siblings come through its own RUNPATH.
cc -std=c99 "$here/consumer/consumer.c" -I"$includedir" -L"$libdir" -lkvset -Wl,-rpath,"$libdir" -o "$work/plain-consumer"
"$work/plain-consumer"

# dlopen by path.
cc "$here/consumer/load.c" -ldl -o "$work/load"
loaded=$("$work/load" "$libdir/libkvset.so.${version%%.*}")
[ "$loaded" = "$version" ] || fail "dlopen: the library says $loaded, pkg-config $version"

# The tool, installed with the library, finds it on its own.
if [ -x "$prefix/bin/kvset" ]; then
  tool_version=$("$prefix/bin/kvset" --version)
  [ "$tool_version" = "$version" ] || fail "kvset --version says $tool_version, pkg-config $version"
  "$prefix/bin/kvset" demo "$work/demo" >/dev/null
fi

# The installed stand-ins are where the switch to installed siblings looks.
cmake -S "$root" -B "$work/system-siblings" -DKVSET_SIBLINGS=system -DCMAKE_PREFIX_PATH="$prefix" \
  -DBUILD_TESTING=OFF -DKVSET_BUILD_TOOLS=OFF -DKVSET_BUILD_EXAMPLES=OFF >/dev/null
for sibling in CXEXCEPTION S100SYMBOL; do
  found=$(sed -n "s/^KVSET_${sibling}_LIBRARY:FILEPATH=//p" "$work/system-siblings/CMakeCache.txt")
  case $found in
    "$libdir"/*) ;;
    *) fail "KVSET_SIBLINGS=system found $sibling at '$found', not in $libdir" ;;
  esac
done
# The documentation, the man page (when help2man built it) and the bash
# completion are installed; the completion offers the commands and options.
[ -f "$prefix/share/doc/kvset/json.md" ] || fail "docs/json.md, named by kvset json --help, is not installed"
if grep -q '^KVSET_HELP2MAN:FILEPATH=/' "$build/CMakeCache.txt"; then
  grep -q '^\.TH KVSET' "$prefix/share/man/man1/kvset.1" || fail "no man page for kvset"
fi
completion="$prefix/share/bash-completion/completions/kvset"
words=$(bash -c 'source "$1"; COMP_WORDS=(kvset co); COMP_CWORD=1; _kvset; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$words" = "convert" ] || fail "bash completion of 'kvset co' gives '$words'"
words=$(bash -c 'source "$1"; COMP_WORDS=(kvset convert x --to ""); COMP_CWORD=4; _kvset; echo "${COMPREPLY[*]}"' _ "$completion")
[ "$words" = "memory file" ] || fail "bash completion of 'kvset convert x --to' gives '$words'"
echo "install consumer: ok (version $version)"
