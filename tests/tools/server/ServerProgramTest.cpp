// The stargrid-server program as scripts/play runs it: a free port printed first, a clean stop on SIGTERM.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ServerTestSupport.h"

namespace stargrid_server::test {
namespace {

TEST(ServerProgram, ListensOnTheAddressItPrintsAndStopsOnSigterm) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(STARGRID_SERVER_EXECUTABLE, STARGRID_SERVER_EXECUTABLE, "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::FILE* lines = fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, lines));
    const std::string prefix = "stargrid-server: listening on http://127.0.0.1:";
    ASSERT_EQ(std::string(line).rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(std::string(line).substr(prefix.size()));

    httplib::Client client("127.0.0.1", port);
    auto reply = client.Get("/bus_ser_ios.html");
    ASSERT_TRUE(reply);
    EXPECT_EQ(parseJson(reply->body)["code"].asString(), "0000");

    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::fclose(lines);
}

}  // namespace
}  // namespace stargrid_server::test
