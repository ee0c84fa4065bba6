// The terminal's locale per environment; setlocale rereads the variables, so each row sets them.
#include "app/TerminalLocale.h"

#include <gtest/gtest.h>

#include <tuple>

#include <langinfo.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace {

using app::LocaleChoice;

TEST(TerminalLocale, EveryEnvironmentEndsUtf8OrWithAMessageNamingTheLocale) {
    const std::tuple<const char*, const char*, const char*, LocaleChoice, const char*> rows[] = {
        // LC_ALL, LC_CTYPE, LANG (nullptr: unset), the choice, what a refusal quotes
        {nullptr, nullptr, nullptr, LocaleChoice::FellBackToUtf8, nullptr},  // a fresh root shell
        {"", "", "", LocaleChoice::FellBackToUtf8, nullptr},
        {nullptr, nullptr, "C.UTF-8", LocaleChoice::Utf8, nullptr},
        {nullptr, "C.UTF-8", "C", LocaleChoice::Utf8, nullptr},
        {nullptr, nullptr, "xx_YY.UTF-8", LocaleChoice::FellBackToUtf8, nullptr},  // not installed
        {"C", nullptr, "C.UTF-8", LocaleChoice::NotUtf8, "\"C\", no es UTF-8"},
        {nullptr, nullptr, "xx_YY.ISO-8859-1", LocaleChoice::NotUtf8, "\"xx_YY.ISO-8859-1\", no está instalada"},
    };
    for (const auto& [lcAll, lcCtype, lang, choice, named] : rows) {
        std::string trace;
        for (const auto& [name, value] : {std::pair{"LC_ALL", lcAll}, {"LC_CTYPE", lcCtype}, {"LANG", lang}}) {
            trace += std::string(name) + "=" + (value ? value : "-") + " ";
            value ? setenv(name, value, 1) : unsetenv(name);
        }
        SCOPED_TRACE(trace);
        const app::LocaleSetup setup = app::SetUpTerminalLocale();
        EXPECT_EQ(setup.choice, choice);
        if (choice == LocaleChoice::NotUtf8) {
            EXPECT_NE(setup.message.find(named), std::string::npos) << setup.message;
            EXPECT_NE(setup.message.find("LANG=C.UTF-8"), std::string::npos) << setup.message;
        } else {
            EXPECT_TRUE(setup.message.empty());
            EXPECT_EQ(std::string(nl_langinfo(CODESET)), "UTF-8");
        }
    }
}

}  // namespace
