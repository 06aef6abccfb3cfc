#include "app/language_id.h"

#include <cstdlib>
#include <string>

namespace orvix {
namespace {

struct LocaleId {
    std::string_view name;  // language, or language_TERRITORY
    uint16_t id;
};

// Territory-specific entries first; a bare language is its main territory.
constexpr LocaleId kIds[] = {
    {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en", 0x0409},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr", 0x040C},
    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"de", 0x0407},
    {"es_MX", 0x080A}, {"es", 0x0C0A},
    {"pt_BR", 0x0416}, {"pt", 0x0816},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh", 0x0804},
    {"ja", 0x0411}, {"ko", 0x0412}, {"it", 0x0410}, {"nl", 0x0413}, {"ru", 0x0419},
    {"pl", 0x0415}, {"sv", 0x041D}, {"tr", 0x041F}, {"cs", 0x0405}, {"da", 0x0406},
    {"fi", 0x040B}, {"el", 0x0408}, {"hu", 0x040E}, {"nb", 0x0414}, {"no", 0x0414},
};

constexpr uint16_t kUserDefault = 0x0400;
constexpr uint16_t kEnglishUs = 0x0409;

}  // namespace

uint16_t languageIdForLocale(std::string_view locale) {
    // "language_TERRITORY.codeset@modifier": only language and territory count.
    const size_t end = locale.find_first_of(".@");
    const std::string_view name = locale.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") return kEnglishUs;
    const std::string_view language = name.substr(0, name.find('_'));
    for (const LocaleId& entry : kIds) {
        if (entry.name == name) return entry.id;
    }
    for (const LocaleId& entry : kIds) {
        if (entry.name == language) return entry.id;
    }
    return kUserDefault;
}

uint16_t defaultLanguageId() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return languageIdForLocale(value);
    }
    return languageIdForLocale("");
}

}  // namespace orvix
