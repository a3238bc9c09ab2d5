#include "support/Text.h"

#include <unicode/coll.h>
#include <unicode/fmtable.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/numfmt.h>
#include <unicode/parsepos.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace quorvel {

namespace {

icu::UnicodeString toUnicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

// Collators and number formats are not safe to share between threads, and
// building one costs far more than using it, so each thread keeps its own,
// made for the default locale it last saw.
struct LocaleTools {
  std::string localeName;
  std::unique_ptr<icu::Collator> collator;          // null when ICU has no data
  std::unique_ptr<icu::NumberFormat> numberFormat;  // null when ICU has no data
  std::unordered_map<std::string, std::string> sortKeys;
};

constexpr std::size_t kMaxCachedSortKeys = 4096;

LocaleTools& localeTools() {
  thread_local LocaleTools tools;
  thread_local bool built = false;
  const icu::Locale& locale = icu::Locale::getDefault();
  if (built && tools.localeName == locale.getName()) {
    return tools;
  }
  built = true;
  tools.localeName = locale.getName();
  tools.sortKeys.clear();

  UErrorCode status = U_ZERO_ERROR;
  // The POSIX locale (what ICU makes of LANG=C) collates in code-point order,
  // where case is a primary difference; the root order ignores it as wanted.
  const bool posix = std::strcmp(locale.getVariant(), "POSIX") == 0;
  tools.collator.reset(
      icu::Collator::createInstance(posix ? icu::Locale::getRoot() : locale, status));
  if (U_FAILURE(status)) {
    tools.collator.reset();
  } else {
    // Secondary strength: base letters and accents count, case does not.
    tools.collator->setStrength(icu::Collator::SECONDARY);
  }

  status = U_ZERO_ERROR;
  tools.numberFormat.reset(icu::NumberFormat::createInstance(locale, status));
  if (U_FAILURE(status)) {
    tools.numberFormat.reset();
  }
  return tools;
}

bool isWhitespaceOrNewline(UChar32 c) {
  if (c == 0x09 || (c >= 0x0A && c <= 0x0D) || c == 0x85) {
    return true;
  }
  std::int8_t type = u_charType(c);
  return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

}  // namespace

std::string defaultLocaleName() { return icu::Locale::getDefault().getName(); }

void setDefaultLocaleName(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale(name.c_str()), status);
}

std::u16string utf8ToUtf16(std::string_view text) {
  icu::UnicodeString u = toUnicode(text);
  return std::u16string(u.getBuffer(), u.getBuffer() + u.length());
}

std::string utf16ToUtf8(std::u16string_view text) {
  icu::UnicodeString u(text.data(), static_cast<std::int32_t>(text.size()));
  return toUtf8(u);
}

std::string uppercaseString(std::string_view text) {
  icu::UnicodeString u = toUnicode(text);
  u.toUpper(icu::Locale::getRoot());
  return toUtf8(u);
}

std::string lowercaseString(std::string_view text) {
  icu::UnicodeString u = toUnicode(text);
  u.toLower(icu::Locale::getRoot());
  return toUtf8(u);
}

std::string asciiUppercase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return result;
}

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
  LocaleTools& tools = localeTools();
  if (!tools.collator) {
    // No collation data: fall back to comparing case-folded code points.
    icu::UnicodeString ua = toUnicode(a);
    icu::UnicodeString ub = toUnicode(b);
    return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT);
  }
  UErrorCode status = U_ZERO_ERROR;
  UCollationResult result = tools.collator->compareUTF8(
      icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
      icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
  if (U_FAILURE(status)) {
    return a.compare(b);
  }
  return static_cast<int>(result);
}

std::string localizedCaseInsensitiveSortKey(std::string_view text) {
  LocaleTools& tools = localeTools();
  std::string owned(text);
  if (auto it = tools.sortKeys.find(owned); it != tools.sortKeys.end()) {
    return it->second;
  }
  std::string key;
  icu::UnicodeString u = toUnicode(text);
  if (tools.collator) {
    std::uint8_t buffer[256];
    std::int32_t length = tools.collator->getSortKey(u, buffer, sizeof buffer);
    if (length > static_cast<std::int32_t>(sizeof buffer)) {
      std::string large(static_cast<std::size_t>(length), '\0');
      tools.collator->getSortKey(u, reinterpret_cast<std::uint8_t*>(large.data()), length);
      key = std::move(large);
    } else {
      key.assign(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
    }
    // The key ends with a terminating zero byte, which adds nothing to the order.
    if (!key.empty() && key.back() == '\0') {
      key.pop_back();
    }
  } else {
    u.foldCase();
    key = toUtf8(u);
  }
  if (tools.sortKeys.size() >= kMaxCachedSortKeys) {
    tools.sortKeys.clear();
  }
  tools.sortKeys.emplace(std::move(owned), key);
  return key;
}

std::optional<Number> numberFromLocalizedString(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  LocaleTools& tools = localeTools();
  if (!tools.numberFormat) {
    return std::nullopt;
  }
  icu::UnicodeString u = toUnicode(text);
  icu::Formattable result;
  icu::ParsePosition position(0);
  tools.numberFormat->parse(u, result, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != u.length()) {
    return std::nullopt;
  }
  switch (result.getType()) {
    case icu::Formattable::kLong:
      return Number(std::int64_t{result.getLong()});
    case icu::Formattable::kInt64:
      return Number(std::int64_t{result.getInt64()});
    case icu::Formattable::kDouble: {
      double d = result.getDouble();
      if (!std::isfinite(d)) {
        return std::nullopt;
      }
      // Whole values within the exact range of a double read as integers,
      // as "3.0" typed into a track number should.
      if (d == std::trunc(d) && std::fabs(d) < 9.0e15) {
        return Number(static_cast<std::int64_t>(d));
      }
      return Number(d);
    }
    default:
      return std::nullopt;
  }
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  std::int32_t start = -1;
  std::int32_t end = 0;
  while (i < length) {
    std::int32_t before = i;
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c < 0 || !isWhitespaceOrNewline(c)) {
      if (start < 0) {
        start = before;
      }
      end = i;
    }
  }
  if (start < 0) {
    return std::string();
  }
  return std::string(
      text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::string foldForMatching(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  icu::UnicodeString u = toUnicode(text);
  if (U_FAILURE(status)) {
    u.foldCase();
    return toUtf8(u);
  }
  icu::UnicodeString decomposed = nfd->normalize(u, status);
  icu::UnicodeString stripped;
  for (std::int32_t i = 0; i < decomposed.length();) {
    UChar32 c = decomposed.char32At(i);
    if (u_charType(c) != U_NON_SPACING_MARK) {
      stripped.append(c);
    }
    i += U16_LENGTH(c);
  }
  stripped.foldCase();
  icu::UnicodeString composed = nfc->normalize(stripped, status);
  if (U_FAILURE(status)) {
    return toUtf8(stripped);
  }
  return toUtf8(composed);
}

}  // namespace quorvel
