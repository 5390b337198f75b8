# Shared settings of every script: paths, the flavour this machine runs, the project's own Wine
# prefix, the Polish locale. Source it; it never touches ~/.wine.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$ROOT/out"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
# Wine gets the ANSI code page 1250 from this locale, which scripts/setup generates under out/.
# Only Wine runs in it (through `env`): the shell itself would look for it before LOCPATH is in its
# own environment, and warn.
export LOCPATH="$OUT/locale"
# PR_LOCALE=en_US.UTF-8 runs Wine with the Western code page 1252 instead (scripts/setup generates
# both), in prefixes of their own.
WINE_LOCALE="${PR_LOCALE:-pl_PL.UTF-8}"
case "$WINE_LOCALE" in
  pl_PL.UTF-8) PREFIX_SUFFIX= ;;
  en_US.UTF-8) PREFIX_SUFFIX=.en_US ;;
  *) echo "env.sh: PR_LOCALE takes pl_PL.UTF-8 or en_US.UTF-8, not $WINE_LOCALE" >&2; exit 2 ;;
esac
# The ad server the build puts into the program: the loopback address, where only the tests' own
# server answers, unless the caller names another.
export PR_AD_HOST="${PR_AD_HOST:-127.0.0.1}"
unset LANGUAGE

# The flavour: i686 where Wine's 32-bit loader starts on this machine, x64 where the kernel refuses
# 32-bit programs (or wine32 is missing). Found out once; child scripts inherit the answer.
# PR_FLAVOUR=i686|x64 chooses by hand.
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64
if [ -z "${PR_FLAVOUR:-}" ]; then
  if [ ! -x "$WINE32_LOADER" ]; then
    PR_FLAVOUR=x64 PR_FLAVOUR_WHY="no 32-bit Wine loader $WINE32_LOADER"
  elif why=$("$WINE32_LOADER" --version 2>&1); then
    PR_FLAVOUR=i686 PR_FLAVOUR_WHY="32-bit Windows programs run here"
  else
    PR_FLAVOUR=x64 PR_FLAVOUR_WHY="32-bit Windows programs cannot run here: ${why##*: }"
  fi
  unset why
fi
case "$PR_FLAVOUR" in
  i686)
    if [ -z "${PR_FLAVOUR_WHY:-}" ]; then
      PR_FLAVOUR_WHY="chosen by PR_FLAVOUR"
      "$WINE32_LOADER" --version >/dev/null ||
        { echo "env: PR_FLAVOUR=i686, but Wine's 32-bit loader $WINE32_LOADER cannot start here" >&2; return 1; }
    fi
    WIN_BUILD="$OUT/win" DIST="$OUT/dist" TOOLCHAIN="$ROOT/cmake/mingw-i686.cmake"
    export WINEARCH=win32 WINEPREFIX="$OUT/wineprefix$PREFIX_SUFFIX"
    PR_WINE=wine ;;
  x64)
    : "${PR_FLAVOUR_WHY:=chosen by PR_FLAVOUR}"
    WIN_BUILD="$OUT/win-x64" DIST="$OUT/dist-x64" TOOLCHAIN="$ROOT/cmake/mingw-x86_64.cmake"
    # The wine command would try the 32-bit loader first: the 64-bit one is started directly.
    export WINEARCH=win64 WINEPREFIX="$OUT/wineprefix64$PREFIX_SUFFIX" WINELOADER="$WINE64_LOADER"
    PR_WINE="$WINE64_LOADER" ;;
  *) echo "env: PR_FLAVOUR must be i686 or x64, not \"$PR_FLAVOUR\"" >&2; return 1 ;;
esac
export PR_FLAVOUR PR_FLAVOUR_WHY
wine() { env LC_ALL="$WINE_LOCALE" "$PR_WINE" "$@"; }
wineboot() { wine wineboot "$@"; }
# The Windows path of a Linux path under Wine's drive Z: (the root folder).
winpath() { echo "Z:$1" | tr / '\\'; }
# One line on the flavour a script runs, once per run of the scripts.
say_flavour() {
  [ -n "${PR_FLAVOUR_SAID:-}" ] && return 0
  echo "flavour: $PR_FLAVOUR ($DIST), $PR_FLAVOUR_WHY"
  export PR_FLAVOUR_SAID=1
}
