// The string table by ID in the interface language.
#include "sys.h"

#include <cstdlib>
#include <optional>

namespace {

struct StringEntry {
    unsigned id;
    const char* german; // UTF-8, as all three
    const char* english;
    const char* portuguese;
};

constexpr StringEntry kStringTable[] = {
#include "../../app/resources/string_table.inc"
};

// The language chosen by SetUiLanguage; empty while the environment decides. Written by SetUiLanguage (CLI, tests),
// read by GetUiLanguage.
std::optional<UiLanguage> gUiLanguageOverride;

} // namespace

UiLanguage GetUiLanguage() {
    if (gUiLanguageOverride) return *gUiLanguageOverride;
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        const std::string value(v);
        if (value.rfind("de", 0) == 0) return UiLanguage::German;
        if (value.rfind("pt", 0) == 0) return UiLanguage::Portuguese;
        return UiLanguage::English;
    }
    return UiLanguage::English;
}

void SetUiLanguage(UiLanguage language) { gUiLanguageOverride = language; }

std::string LoadStringA(unsigned id) {
    const UiLanguage language = GetUiLanguage();
    for (const StringEntry& e : kStringTable) {
        if (e.id != id) continue;
        const char* text = language == UiLanguage::German ? e.german
                           : language == UiLanguage::English ? e.english
                                                             : e.portuguese;
        std::string ansi;
        if (!Utf8ToAnsi(text, ansi)) return std::string();
        if (ansi.size() > 99) ansi.resize(99);
        return ansi;
    }
    return std::string();
}
