// What the messenger stand-in takes, from outside: its command line, and what it finds on the pasteboard
// when an application opens it with a request.
#include <stdio.h>
#include <sys/wait.h>

#include <string>

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

// The stand-in run with one argument, in this process's environment (its player's folders, so its
// pasteboards too).
StandinRun runStandin(const std::string& argument) {
    StandinRun run;
    std::FILE* standin = ::popen((std::string(STARGRID_PIGEON_STANDIN) + " '" + argument + "' 2>&1").c_str(), "r");
    if (!standin) return run;
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, standin)) > 0;) run.said.append(buffer, got);
    const int status = ::pclose(standin);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

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
