# Shared settings of every script: paths, the project's own Wine prefix, the Polish locale.
# Source it; it never touches ~/.wine.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$ROOT/out"
export WINEPREFIX="$OUT/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LOCPATH="$OUT/locale"
export LC_ALL=pl_PL.UTF-8
# The ad server the build puts into the program: the loopback address, where only the tests' own
# server answers, unless the caller names another.
export PR_AD_HOST="${PR_AD_HOST:-127.0.0.1}"
unset LANGUAGE
