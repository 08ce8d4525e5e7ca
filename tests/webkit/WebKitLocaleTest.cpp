// Opening a web page starts GTK, which would switch the whole process to the player's locale; the
// game's numbers and case changes stay those of the C locale.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <string>

#include "platform/WebWindow.h"
#include "support/ScopedLocale.h"

namespace platform {
namespace {

// In a child of its own: the player's locale for the category is the one given (made available where
// it is missing); a page opens, then a number is written and an 'I' lowered.
int openAPageUnder(int category, const char* variable, const char* language) {
    kite::test::ScopedLocale players(category, language, "UTF-8");
    if (!players.active()) return 2;
    std::setlocale(LC_ALL, "C");
    unsetenv("LC_ALL");
    setenv(variable, (std::string(language) + ".UTF-8").c_str(), 1);
    std::unique_ptr<WebWindow> page = WebWindow::create();
    if (dynamic_cast<RecordingWebWindow*>(page.get())) return 3;
    std::fprintf(stderr, "numbers %.3f, case %c\n", 0.332, static_cast<char>(std::tolower('I')));
    return 0;
}

TEST(WebKitLocaleDeathTest, APageLeavesNumbersWithADecimalPoint) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Ends without exit handlers: WebKit's threads are still running.
    EXPECT_EXIT(std::_Exit(openAPageUnder(LC_NUMERIC, "LC_NUMERIC", "de_DE")), ::testing::ExitedWithCode(0),
                "numbers 0\\.332, case i\n");
}

TEST(WebKitLocaleDeathTest, APageLeavesCaseChangesToAscii) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(openAPageUnder(LC_CTYPE, "LC_CTYPE", "tr_TR")), ::testing::ExitedWithCode(0),
                "numbers 0\\.332, case i\n");
}

}  // namespace
}  // namespace platform
