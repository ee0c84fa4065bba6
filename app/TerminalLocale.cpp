#include "app/TerminalLocale.h"

#include <langinfo.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace app {

namespace {

bool CodesetIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

bool NamesUtf8(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

bool Configured(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

}  // namespace

LocaleSetup SetUpTerminalLocale() {
    const char* chosen = std::setlocale(LC_ALL, "");
    if (chosen != nullptr && CodesetIsUtf8()) return {LocaleChoice::Utf8, {}};

    // The variable that decides the character set, as the C library reads them.
    const char* asked = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (Configured(variable)) {
            asked = std::getenv(variable);
            break;
        }
    }
    // Nothing configured, or a UTF-8 locale that is not installed (a name
    // brought in by ssh from another machine, say): the terminal itself
    // speaks UTF-8, so C.UTF-8 shows the same texts.
    if ((asked == nullptr || NamesUtf8(asked)) && std::setlocale(LC_ALL, "C.UTF-8") != nullptr && CodesetIsUtf8())
        return {LocaleChoice::FellBackToUtf8, {}};

    std::setlocale(LC_ALL, "C");
    std::string message = "Quelmar necesita una configuración regional UTF-8 para mostrar sus textos";
    if (asked != nullptr) {
        message += " (la actual, \"";
        message += asked;
        message += chosen == nullptr ? "\", no está instalada)" : "\", no es UTF-8)";
    }
    message += ". Ejecútelo, por ejemplo, con LANG=C.UTF-8.";
    return {LocaleChoice::NotUtf8, message};
}

}  // namespace app
