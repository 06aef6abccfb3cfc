// The platform's default language identifier (a Windows LCID: primary
// language in the low 10 bits, sub-language above) derived from the POSIX
// locale. The video window picks its on-screen date format by it.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvix {

// The identifier for a locale name such as "fr_FR.UTF-8" or "ja_JP". "C",
// "POSIX" and an empty name count as US English; a language without an
// identifier of its own here gets LOCALE_USER_DEFAULT (0x0400), which takes
// the default date format.
uint16_t languageIdForLocale(std::string_view locale);

// The identifier of the locale the user chose for dates: LC_ALL, else
// LC_TIME, else LANG.
uint16_t defaultLanguageId();

}  // namespace orvix
