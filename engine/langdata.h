// The installer's language data (Lang.dat): finding its length, choosing a set, looking texts up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Layout: the header line "PRLANG <n>" ending in CR LF, then n bytes of body. The body is UTF-8
// text: "@<code>" starts a set ("pl", "en", "pt-BR"...), "<id>=<text>" gives text number id of that
// set, lines starting with '#' and blank lines are skipped; lines end in LF or CR LF. In a text,
// "\n" stands for a line break (CR LF) and "\\" for one backslash.

// Length of the language data that starts at `data` (header and body), or 0 when the `avail`
// bytes there do not begin with a whole, well-formed language data block.
size_t LangDataLength(const char* data, size_t avail);

// The set codes in the order they stand.
std::vector<std::string> LangSets(const char* data, size_t len);

// The set code of `sets` that `asked` names, letters in any case ("PT-br" gives "pt-BR"); "" when none.
std::string LangFind(const std::vector<std::string>& sets, const std::string& asked);

// The set for a Windows interface language (a LANGID: primary language in the low 10 bits, region
// above): the language's own, for Portuguese only Brazil's and for Chinese only the Simplified
// regions'; "en" when none fits.
const char* LangForUi(unsigned short langId);

// Fills texts[id] (ids 1 .. count - 1) from set `code`; a text missing from it is taken from the
// first set. False when the data is damaged or holds no set; then texts is left empty.
bool LangLoad(const char* data, size_t len, const char* code, size_t count, std::vector<std::string>* texts);

// Replaces each "%s" of `pattern` in turn by the next argument ("%%" gives "%").
std::wstring LangFormat(const std::wstring& pattern, const std::vector<std::wstring>& args);
