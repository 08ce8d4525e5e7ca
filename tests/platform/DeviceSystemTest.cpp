#include "platform/DeviceSystem.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

// Sets the three locale variables (null unsets one) for one test and puts them back afterwards.
class LocaleVariables {
public:
    LocaleVariables() {
        for (int i = 0; i < 3; ++i) {
            const char* value = std::getenv(kNames[i]);
            saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    ~LocaleVariables() {
        for (int i = 0; i < 3; ++i) put(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }
    void use(const char* all, const char* messages, const char* lang) {
        put("LC_ALL", all);
        put("LC_MESSAGES", messages);
        put("LANG", lang);
    }

private:
    static void put(const char* name, const char* value) {
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[3];
};

}  // namespace

TEST(DeviceSystem, TheLanguageComesFromTheLocaleMessagesAreShownIn) {
    LocaleVariables locale;
    locale.use(nullptr, nullptr, "zh_CN.UTF-8");
    EXPECT_EQ(platform::preferredLanguageCode(), "zh");
    locale.use(nullptr, "fr_FR@euro", "zh_CN.UTF-8");
    EXPECT_EQ(platform::preferredLanguageCode(), "fr");
    locale.use("de_DE.UTF-8", "fr_FR", "zh_CN.UTF-8");
    EXPECT_EQ(platform::preferredLanguageCode(), "de");
    locale.use("", "", "ja");
    EXPECT_EQ(platform::preferredLanguageCode(), "ja") << "an empty variable is no setting";
    locale.use(nullptr, nullptr, nullptr);
    EXPECT_EQ(platform::preferredLanguageCode(), "en");
}

TEST(DeviceSystem, TheCAndPosixLocalesReadAsEnglishEvenOverAnotherLanguage) {
    LocaleVariables locale;
    for (const char* plain : {"C", "C.UTF-8", "POSIX"}) {
        locale.use(plain, nullptr, "de_DE.UTF-8");
        EXPECT_EQ(platform::preferredLanguageCode(), "en") << plain;
        locale.use(nullptr, plain, "de_DE.UTF-8");
        EXPECT_EQ(platform::preferredLanguageCode(), "en") << plain;
    }
}
