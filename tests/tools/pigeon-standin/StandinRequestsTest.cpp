// What the messenger stand-in takes, from outside: its command line, and what it finds on the pasteboard
// when an application opens it with a request.
#include <stdio.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/ExchangeKeys.h"
#include "sdk/pigeon/Responses.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::test::readWholeFile;

constexpr char kAppId[] = "pgstandinrequests01";

struct StandinRun {
    int status = -1;
    std::string said;  // standard output and standard error
};

// The stand-in run with the arguments, in this process's environment (its player's folders, so its
// pasteboards too).
StandinRun runStandin(const std::vector<std::string>& arguments) {
    StandinRun run;
    std::string command = STARGRID_PIGEON_STANDIN;
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    std::FILE* standin = ::popen((command + " 2>&1").c_str(), "r");
    if (!standin) return run;
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, standin)) > 0;) run.said.append(buffer, got);
    const int status = ::pclose(standin);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
StandinRun runStandin(const std::string& argument) { return runStandin(std::vector<std::string>{argument}); }

// An option it does not know is named, with where the usage is, as the other tools do; the usage itself
// is there.
TEST(StandinRequests, AnUnknownOptionIsNamedWithWhereTheUsageIs) {
    for (const std::string& option : {std::string("--bogus"), std::string("--\x1b[2J")}) {
        const StandinRun run = runStandin(option);
        EXPECT_EQ(run.status, 2) << run.said;
        const std::string shown = option == "--bogus" ? option : "--\\x1b[2J";
        EXPECT_EQ(run.said, "pigeon-standin: unknown option " + shown + " (pigeon-standin --help shows the usage)\n");
    }
    const StandinRun help = runStandin("--help");
    EXPECT_EQ(help.status, 0) << help.said;
    EXPECT_EQ(help.said, "usage: " STARGRID_PIGEON_STANDIN " --install | --uninstall | URL | --help\n");
}

// What it cannot take is refused with why: an empty argument, anything after an option or a URL; a URL that
// is none of the messenger's is named with the form one has. None of them installs or answers anything.
TEST(StandinRequests, WhatItCannotTakeIsRefusedWithWhy) {
    struct Tried {
        std::vector<std::string> arguments;
        int status;
        std::string said;
    };
    const std::string usage = " (pigeon-standin --help shows the usage)\n";
    const Tried tried[] = {
        {{""}, 2, "pigeon-standin: an empty argument is neither an option nor a URL" + usage},
        {{"--install", "extra"}, 2, "pigeon-standin: --install takes nothing more" + usage},
        {{"--uninstall", "extra"}, 2, "pigeon-standin: --uninstall takes nothing more" + usage},
        {{"pigeon://app/abc/", "\x1b[2J"}, 2, "pigeon-standin: one URL at most: unexpected argument \"\\x1b[2J\"" + usage},
        {{"pigeon://x"},
         1,
         "pigeon-standin: not a messenger URL: pigeon://x (it takes pigeon://app/APPID/[COMMAND/][?PARAMETERS] or "
         "pigeonapi://...)\n"},
    };
    for (const Tried& one : tried) {
        const StandinRun run = runStandin(one.arguments);
        EXPECT_EQ(run.status, one.status) << one.said;
        EXPECT_EQ(run.said, one.said);
    }
}

// The stand-in's answer to an earlier share, still on the pasteboard when it is opened again: the
// application has not read it yet. It is no request; it is left for the application, and nothing is sent.
TEST(StandinRequests, AnAnswerOnThePasteboardIsNoRequestAndIsLeftForTheApplication) {
    kite::test::TemporaryFolder folder("stargrid-standin-requests");
    ASSERT_TRUE(folder.made());
    const std::string log = folder.path() + "/standin.log";
    ::setenv("PIGEON_STANDIN_LOG", log.c_str(), 1);
    ::setenv("PIGEON_STANDIN_ANSWER", "send", 1);
    pigeon::SendMessageToPGResp sent;
    sent.errCode = -2;
    pigeon::AppCommunicateData answer;
    ASSERT_TRUE(answer.RespToData(sent));
    answer.setReturnFromApp(true);
    ASSERT_TRUE(pigeon::AppCommunicate::setAppCommunicateData(answer, kAppId));

    const StandinRun run = runStandin("pigeon://app/" + std::string(kAppId) + "/sendreq/?");
    ::unsetenv("PIGEON_STANDIN_LOG");
    ::unsetenv("PIGEON_STANDIN_ANSWER");

    EXPECT_EQ(run.status, 1) << run.said;
    EXPECT_EQ(readWholeFile(log), "no request of " + std::string(kAppId) +
                                      " on the pasteboard, but an answer (command 2020): it is left there, and "
                                      "nothing is sent\n");
    const std::optional<pigeon::AppCommunicateData> left = pigeon::AppCommunicate::appCommunicateDataForAppID(kAppId);
    ASSERT_TRUE(left) << "the answer was taken off the pasteboard";
    EXPECT_EQ(left->command(), pigeon::exchange::kSendMessageResponse);
    EXPECT_EQ(left->result(), -2);
}

}  // namespace
