// The local game server on a database it cannot use once it runs: another program holding its write
// lock, or pages damaged on disk. The request fails with the server-failure code, and its log line
// says what SQLite said.
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "support/TemporaryFolder.h"

namespace stargrid_server::test {
namespace {

class DatabaseFailureTest : public ServerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        startServer(database_);
    }

    // The log entry of the last request answered.
    LoggedRequest lastLogged() {
        const std::vector<LoggedRequest> log = server->requestLog().since(0);
        return log.empty() ? LoggedRequest{} : log.back();
    }

    kite::test::TemporaryFolder folder_{"stargrid-server-db"};
    const std::string database_ = folder_.path() + "/server.db";
};

TEST_F(DatabaseFailureTest, ALockHeldElsewhereIsNamedInTheRequestsLogLine) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(database_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    EXPECT_EQ(login("13812345678", "MTIzNA==")["code"].asString(), "9999");
    LoggedRequest logged = lastLogged();
    EXPECT_EQ(logged.path, "/game/BindAccount");
    EXPECT_EQ(logged.note, "database: database is locked");

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    // Once it is given up, the same request goes through, and its line names no failure.
    EXPECT_EQ(login("13812345678", "MTIzNA==")["code"].asString(), "0000");
    logged = lastLogged();
    EXPECT_EQ(logged.note, "");
}

TEST_F(DatabaseFailureTest, DamagedPagesAreNamedInTheRequestsLogLine) {
    ASSERT_EQ(login("13812345678", "MTIzNA==")["code"].asString(), "0000");
    server.reset();  // the last connection's close writes everything into the file itself

    // Every page after the first (which holds the schema) overwritten: the tables' pages are noise.
    std::fstream file(database_, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[18] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const std::size_t pageSize = (std::size_t(header[16]) << 8) | header[17];
    ASSERT_GE(pageSize, 512u);
    file.seekg(0, std::ios::end);
    const std::size_t size = static_cast<std::size_t>(file.tellg());
    ASSERT_GT(size, pageSize);
    file.seekp(static_cast<std::streamoff>(pageSize));
    file << std::string(size - pageSize, '\xa5');
    file.close();

    startServer(database_);
    EXPECT_EQ(login("13812345678", "MTIzNA==")["code"].asString(), "9999");
    const LoggedRequest logged = lastLogged();
    EXPECT_EQ(logged.status, 200);
    EXPECT_EQ(logged.note, "database: database disk image is malformed");
}

}  // namespace
}  // namespace stargrid_server::test
