#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/Value.h"

namespace quorvel {

// Text helpers over ICU. Text is UTF-8 at rest; where characters are counted
// the caller converts to UTF-16, as the original platform's strings were.
// Every function here is thread-safe: ICU objects that are not (collators,
// number formats) are kept per thread and rebuilt when the default locale
// changes. Invalid UTF-8 input is read with each bad sequence as U+FFFD.

// The default locale's ICU identifier ("en_US", "de_DE"). At start it comes
// from the environment (LANG, LC_ALL). Any thread.
std::string defaultLocaleName();
// Makes `name` the default locale of the process, for start-up code and tests;
// every thread follows from its next call. Any thread.
void setDefaultLocaleName(const std::string& name);

// UTF-8 to UTF-16. Never fails; any thread.
std::u16string utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Never fails; any thread.
std::string utf16ToUtf8(std::u16string_view text);

// Full Unicode upper/lower case mapping, independent of the user's locale
// ("ß" upper-cases to "SS"). Never fails; any thread.
std::string uppercaseString(std::string_view text);
std::string lowercaseString(std::string_view text);
// Upper-cases a-z only and leaves every other byte as it is (tag names).
std::string asciiUppercase(std::string_view text);

// Compares like a person would sort in the current locale, ignoring case but
// not accents ("album" == "ALBUM", "e" < "é" < "f"). Returns <0, 0 or >0.
// Any thread.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);
// A byte string whose byte-wise order (operator<) is the order of
// localizedCaseInsensitiveCompare. Cached per thread, so it suits small
// vocabularies compared many times (tag keys); the cache is bounded. Any thread.
std::string localizedCaseInsensitiveSortKey(std::string_view text);

// Parses the whole text as a decimal number in the current locale's format
// ("1,5" in German, "1.5" in English; grouping separators accepted). Returns
// none for empty text, trailing garbage, or a non-finite result. Integral
// values come back as integer Numbers. Any thread.
std::optional<Number> numberFromLocalizedString(std::string_view text);

// Removes leading and trailing white space and line breaks (Unicode space
// separators, tab, U+000A-U+000D, U+0085, U+2028, U+2029). Any thread.
std::string trimWhitespaceAndNewlines(std::string_view text);

// A form for loose matching: diacritics removed and case folded
// ("Ćafé" and "CAFE" give the same result), NFC-composed. Any thread.
std::string foldForMatching(std::string_view text);

}  // namespace quorvel
