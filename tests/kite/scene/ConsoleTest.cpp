// The debug console over real TCP connections to 127.0.0.1, with the main thread running frames meanwhile.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kite/foundation/Console.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/scene/Director.h"
#include "support/BareGLView.h"
#include "support/DirectorShutdown.h"
#include "support/RunningScene.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

class Client {
public:
    // Port 0: the socket is made, and connected later.
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (port) connect(port);
    }
    void connect(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~Client() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    void send(const std::string& line) { (void)!::send(fd_, line.data(), line.size(), MSG_NOSIGNAL); }
    // Reads what has arrived, waiting at most `ms` for something.
    bool poll(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            closedByPeer_ = true;
            return false;
        }
        received.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    bool closedByPeer() const { return closedByPeer_; }
    // Reads until the console closes the connection, for at most 2 s.
    bool waitForClose() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!closedByPeer_ && std::chrono::steady_clock::now() < deadline) poll(5);
        return closedByPeer_;
    }
    std::string received;

private:
    int fd_;
    bool connected_ = false;
    bool closedByPeer_ = false;
};

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        console = Director::getInstance()->getConsole();
        ASSERT_NE(console, nullptr);
        ASSERT_TRUE(console->listenOnTCP(0));
    }
    void TearDown() override {
        console->stop();
        test::shutDownDirector();
    }

    // Runs passes of the main loop until the client has received `until`, or 2 s pass.
    bool runUntil(Client& client, const std::string& until) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            Director::getInstance()->mainLoop();
            client.poll(5);
            if (client.received.find(until) != std::string::npos) return true;
        }
        return false;
    }

    std::string ask(const std::string& command, const std::string& until) {
        Client client(console->getListeningPort());
        EXPECT_TRUE(client.connected());
        client.send(command + "\n");
        EXPECT_TRUE(runUntil(client, until)) << command << " gave: " << client.received;
        return client.received;
    }

    Console* console = nullptr;
};

TEST_F(ConsoleTest, HelpListsTheCommandsInNameOrderWithTheirTabs) {
    const std::string reply = ask("help", "\tversion");
    EXPECT_EQ(reply.substr(0, 22), std::string("\nAvailable commands:\n", 22));
    const std::size_t first = reply.find('\t');
    EXPECT_EQ(reply.substr(first, 10), "\tallocator");
    EXPECT_THAT(reply, HasSubstr("\tfileutils\t\tFlush or print"));
    EXPECT_THAT(reply, HasSubstr("\tfps\t\t\tTurn on / off the FPS."));
    EXPECT_LT(reply.find("\ttouch"), reply.find("\tversion"));
    EXPECT_EQ(console->getCommands().size(), 15u);
}

TEST_F(ConsoleTest, CommandsReplyAsDescribedWhileFramesRun) {
    EXPECT_THAT(ask("fps maybe", "\n"), "FPS is: off\n");
    Client client(console->getListeningPort());
    client.send("projection 3d\nprojection\n");
    ASSERT_TRUE(runUntil(client, "\n"));
    EXPECT_EQ(client.received, "Current projection: 3d\n");
    EXPECT_EQ(Director::getInstance()->getProjection(), Director::Projection::_3D);
    EXPECT_EQ(ask("texture clear", "nothing"),
              "Unsupported argument: 'clear'. Supported arguments: 'flush' or nothing");
    EXPECT_EQ(ask("touch tap 10", "\n"), "touch: invalid arguments.\n");
    EXPECT_EQ(ask("touch tap 10 x", "\n"), "touch: invalid arguments.\n");
    EXPECT_THAT(ask("config", "> "), HasSubstr("kite.version"));
    EXPECT_THAT(ask("scenegraph", "> "), HasSubstr("Total Nodes: 0\n"));
    EXPECT_THAT(ask("version", "\n"), StartsWith(kiteVersion()));
    EXPECT_THAT(ask("director help", "earlier\n"), StartsWith("available director directives:\n\tpause,"));
    EXPECT_THAT(ask("resolution", "size: "), StartsWith("Window Size:\n\t"));
    EXPECT_EQ(ask("resolution 10 ten", "\n"), "resolution: invalid arguments.\n");
    EXPECT_THAT(ask("nonsense", "\n"), HasSubstr("Unknown command nonsense"));
    // What the client sent comes back with its control characters and bytes that are not UTF-8 escaped.
    EXPECT_EQ(ask("\xff\xfe(\x80 1", "\n"), "Unknown command \\xff\\xfe(\\x80. Type 'help' for options\n");
    EXPECT_EQ(ask("no\033[2Jsuch 1", "\n"), "Unknown command no\\x1b[2Jsuch. Type 'help' for options\n");
}

TEST_F(ConsoleTest, NoPartOfAnOverLongLineIsRunAsACommand) {
    Client client(console->getListeningPort());
    client.send(std::string(20000, 'x'));
    ASSERT_TRUE(runUntil(client, "Console: command too long\n"));
    // The line goes on: what follows up to its end is not a command of its own.
    client.send("version\nfps\n");
    ASSERT_TRUE(runUntil(client, "FPS is: off\n"));
    EXPECT_EQ(client.received, "Console: command too long\nFPS is: off\n");
}

TEST_F(ConsoleTest, AResolutionBeyondAnIntegerOrWithAZeroByteIsRefused) {
    for (const std::string& args : {std::string("4294967396 20 1"), std::string("10 20 1\0 5", 10)})
        EXPECT_EQ(ask("resolution " + args, "\n"), "resolution: invalid arguments.\n") << args;
}

TEST_F(ConsoleTest, APausedOrStoppedDirectorIsWokenFromTheConsole) {
    Director* director = Director::getInstance();
    Client client(console->getListeningPort());
    client.send("director pause\nfps\n");
    ASSERT_TRUE(runUntil(client, "\n"));
    EXPECT_TRUE(director->isPaused());
    client.send("director resume\nfps\n");
    client.received.clear();
    ASSERT_TRUE(runUntil(client, "\n"));
    EXPECT_FALSE(director->isPaused());
}

TEST_F(ConsoleTest, DebugMessagesAreForwardedOnceAskedFor) {
    Client client(console->getListeningPort());
    client.send("debugmsg\n");
    ASSERT_TRUE(runUntil(client, "\n"));
    EXPECT_EQ(client.received, "Debug message is: off\n");
    client.received.clear();
    client.send("debugmsg on\n");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!console->isSendingDebugStrings() && std::chrono::steady_clock::now() < deadline) client.poll(5);
    kite::log("console test line %d", 7);
    EXPECT_TRUE(runUntil(client, "console test line 7\n"));
}

TEST_F(ConsoleTest, ManyClientsAndClientsThatLeaveMidReplyDoNotHurtTheGame) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < Console::kMaxClients + 4; ++i)
        clients.push_back(std::make_unique<Client>(console->getListeningPort()));
    // Those beyond the limit are told so and closed.
    int refused = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (refused < 4 && std::chrono::steady_clock::now() < deadline) {
        refused = 0;
        for (auto& client : clients) {
            client->poll(1);
            refused += client->received == "Console: too many connections\n";
        }
    }
    EXPECT_EQ(refused, 4);
    for (int i = 0; i < 8; ++i) {
        clients[static_cast<std::size_t>(i)]->send("help\nhelp\nhelp\n");
        clients[static_cast<std::size_t>(i)]->close();  // gone before the reply: no SIGPIPE
    }
    // The game still serves a new client.
    clients.clear();
    EXPECT_THAT(ask("version", "\n"), StartsWith(kiteVersion()));
}

TEST_F(ConsoleTest, ExitClosesTheConnectionAndTheListenerIsOnLoopbackOnly) {
    Client client(console->getListeningPort());
    client.send("exit\n");
    EXPECT_TRUE(client.waitForClose());

    char hex[16];
    std::snprintf(hex, sizeof(hex), ":%04X", console->getListeningPort());
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    bool found = false;
    while (std::getline(tcp, line)) {
        if (line.find(std::string("0100007F") + hex) == std::string::npos) continue;
        found = true;
    }
    EXPECT_TRUE(found) << "listener not on 127.0.0.1";
}

TEST_F(ConsoleTest, AReplyForAClientThatLeftReachesNoNewerClient) {
    // The first client asks for a reply made at the next frame, and leaves before it.
    Client first(console->getListeningPort());
    Client second(0);  // its own end made now, so the game's end can take the number freed next
    first.send("projection\nexit\n");
    ASSERT_TRUE(first.waitForClose());
    // The next client gets the descriptor number the first one had.
    second.connect(console->getListeningPort());
    ASSERT_TRUE(second.connected());
    second.send("version\n");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (second.received.empty() && std::chrono::steady_clock::now() < deadline) second.poll(5);
    ASSERT_THAT(second.received, StartsWith(kiteVersion()));
    second.send("fps\n");
    ASSERT_TRUE(runUntil(second, "FPS is: off\n"));
    EXPECT_THAT(second.received, Not(HasSubstr("Current projection")));
}

// A GL view without a surface that keeps the touches it is handed, in window pixels.
class TouchRecordingView : public test::BareGLView {
public:
    static TouchRecordingView* create(float width, float height) {
        return createAutoreleased<TouchRecordingView>(width, height);
    }
    void handleTouchesBegin(int, intptr_t ids[], float xs[], float ys[]) override {
        record("begin", ids[0], xs[0], ys[0]);
    }
    void handleTouchesMove(int, intptr_t ids[], float xs[], float ys[]) override {
        record("move", ids[0], xs[0], ys[0]);
    }
    void handleTouchesEnd(int, intptr_t ids[], float xs[], float ys[]) override { record("end", ids[0], xs[0], ys[0]); }

    std::vector<std::string> touches;
    std::vector<intptr_t> ids;

private:
    void record(const char* phase, intptr_t id, float x, float y) {
        char text[64];
        std::snprintf(text, sizeof(text), "%s %g %g", phase, x, y);
        touches.push_back(text);
        ids.push_back(id);
    }
};

class ConsoleTouchTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        view = TouchRecordingView::create(640, 1136);
        Director::getInstance()->setGLView(view);
    }
    // The replies up to that of an "fps" sent after the touch, whose work runs after the touch's.
    std::string touch(const std::string& args) { return ask("touch " + args + "\nfps", "FPS is: off\n"); }

    TouchRecordingView* view = nullptr;
};

TEST_F(ConsoleTouchTest, ASwipeMovesOneUnitAtATimeAlongItsLongerAxis) {
    EXPECT_EQ(touch("swipe 0 0 5 0"), "FPS is: off\n");
    EXPECT_THAT(view->touches,
                ElementsAre("begin 0 0", "move 1 0", "move 2 0", "move 3 0", "move 4 0", "end 5 0"));
    view->touches.clear();
    touch("swipe 10 10 12 14");
    EXPECT_THAT(view->touches, ElementsAre("begin 10 10", "move 10.5 11", "move 11 12", "move 11.5 13", "end 12 14"));
    view->touches.clear();
    touch("swipe 640 1136 639.5 1136");
    EXPECT_THAT(view->touches, ElementsAre("begin 640 1136", "end 639.5 1136"));
    view->touches.clear();
    touch("tap 10 20");
    EXPECT_THAT(view->touches, ElementsAre("begin 10 20", "end 10 20"));
}

TEST_F(ConsoleTouchTest, EverySimulatedTouchCarriesTheConsolesLastTouchId) {
    console->setTouchId(-7);  // no random draw gives a negative id
    touch("tap 10 20");
    ASSERT_EQ(view->ids.size(), 2u);
    EXPECT_GE(console->getTouchId(), 0);
    EXPECT_THAT(view->ids, ElementsAre(console->getTouchId(), console->getTouchId()));
    view->ids.clear();
    console->setTouchId(-7);
    touch("swipe 0 0 3 0");
    ASSERT_EQ(view->ids.size(), 4u);
    EXPECT_THAT(view->ids, ::testing::Each(console->getTouchId()));
    EXPECT_GE(console->getTouchId(), 0);
}

TEST_F(ConsoleTouchTest, ASwipeReachingOutsideTheViewIsRefusedAndTouchesNothing) {
    for (const char* args : {"swipe 0 0 100000 0", "swipe 0 0 30000000 0", "swipe -5 0 5 0", "swipe 0 0 0 1137"}) {
        EXPECT_EQ(touch(args), "touch: invalid arguments.\nFPS is: off\n") << args;
    }
    EXPECT_THAT(view->touches, IsEmpty());
}

TEST_F(ConsoleTouchTest, ATouchWhoseNumbersGoOnAfterAZeroByteIsRefused) {
    EXPECT_EQ(touch(std::string("tap 10 20\0x", 11)), "touch: invalid arguments.\nFPS is: off\n");
    EXPECT_THAT(view->touches, IsEmpty());
}

// The console of a game with a window (and so a GL context to ask what it can draw).
class ConsoleWindowTest : public test::RunningSceneTest {
protected:
    void SetUp() override {
        test::RunningSceneTest::SetUp();
        console = Director::getInstance()->getConsole();
        ASSERT_NE(console, nullptr);
        ASSERT_TRUE(console->listenOnTCP(0));
    }
    void TearDown() override {
        if (console) console->stop();
        test::RunningSceneTest::TearDown();
    }
    // The replies up to that of an "fps" sent after the command, whose work runs after the command's.
    std::string ask(const std::string& command) {
        Client client(console->getListeningPort());
        EXPECT_TRUE(client.connected());
        client.send(command + "\nfps\n");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (client.received.find("FPS is: ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            Director::getInstance()->mainLoop();
            client.poll(5);
        }
        return client.received;
    }

    Console* console = nullptr;
};

TEST_F(ConsoleWindowTest, AResolutionTheViewCannotDrawIsRefusedAndChangesNothing) {
    // Beyond the largest viewport GL draws, as a window of points or once scaled onto the frame.
    for (const char* args : {"99999 99999 1", "99999 480 0", "320 99999 2", "8000 1 1"}) {
        EXPECT_EQ(ask(std::string("resolution ") + args), "resolution: invalid arguments.\nFPS is: off\n") << args;
        EXPECT_EQ(glView->getDesignResolutionSize(), Size(480.0f, 852.0f)) << args;
        EXPECT_EQ(glView->getResolutionPolicy(), ResolutionPolicy::EXACT_FIT) << args;
    }
    EXPECT_EQ(ask("resolution 320 480 2"), "FPS is: off\n");
    EXPECT_EQ(glView->getDesignResolutionSize(), Size(320.0f, 480.0f));
    EXPECT_EQ(Director::getInstance()->getWinSize(), Size(320.0f, 480.0f));
}

// Uploads into a writable folder and a preferences folder of the test's own.
class ConsoleUploadTest : public ConsoleTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        data = folder.path() + "/data/";
        config = folder.path() + "/config/";
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* value = getenv(name);
            saved.emplace_back(name, value ? value : "");
        }
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        writable = FileUtils::getInstance()->getWritablePath();
        ASSERT_EQ(writable.rfind(data, 0), 0u) << writable;
        ConsoleTest::SetUp();  // the console takes the writable path now
    }
    void TearDown() override {
        ConsoleTest::TearDown();
        for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
    }
    static std::string contentsOf(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static unsigned modeOf(const std::string& path) {
        struct stat status;
        return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }
    // Sends the upload, then a command answered at once, so the upload is done once that answer is in.
    std::string upload(const std::string& args) { return ask("upload " + args + "\nversion", kiteVersion()); }

    test::TemporaryFolder folder{"console-upload"};
    std::string data, config, writable;
    std::vector<std::pair<std::string, std::string>> saved;
};

TEST_F(ConsoleUploadTest, AnUploadGoesWholeToItsOwnPrivateFolder) {
    EXPECT_EQ(upload("console-upload.txt aGVsbG8="), std::string(kiteVersion()) + "\n");
    const std::string uploads = writable + Console::kUploadFolder + "/";
    EXPECT_EQ(contentsOf(uploads + "console-upload.txt"), "hello");
    EXPECT_EQ(modeOf(uploads + "console-upload.txt"), 0600u);
    EXPECT_EQ(modeOf(uploads), 0700u);
    EXPECT_EQ(modeOf(writable + "console-upload.txt"), 0u) << "nothing beside the game's own files";
    // A second upload of the name replaces the first whole.
    upload("console-upload.txt d29ybGQh");
    EXPECT_EQ(contentsOf(uploads + "console-upload.txt"), "world!");
}

TEST_F(ConsoleUploadTest, DataThatIsNotBase64IsAnsweredAndWritesNothing) {
    const std::string uploads = writable + Console::kUploadFolder + "/";
    upload("kept.txt aGk=");
    ASSERT_EQ(contentsOf(uploads + "kept.txt"), "hi");
    const std::string refused = std::string("upload: invalid Base64 data!\n\0", 30);
    EXPECT_EQ(upload("kept.txt hello world!"), refused + kiteVersion() + "\n");
    EXPECT_EQ(upload("fresh.txt *not-base64*"), refused + kiteVersion() + "\n");
    EXPECT_EQ(contentsOf(uploads + "kept.txt"), "hi");
    EXPECT_EQ(modeOf(uploads + "fresh.txt"), 0u);
}

TEST_F(ConsoleUploadTest, TheStoreLedgerAndThePreferencesCannotBeReplaced) {
    const std::string ledger = writable + "StoreLedger.plist";
    const std::string preferences = config + "stargrid/UserDefaults.plist";
    ASSERT_EQ(::mkdir(config.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((config + "stargrid").c_str(), 0700), 0);
    std::ofstream(ledger) << "the game's ledger";
    std::ofstream(preferences) << "the game's preferences";
    // Even a link planted in the upload folder is replaced itself, never followed.
    upload("first.txt aGk=");
    ASSERT_EQ(::symlink(ledger.c_str(), (writable + Console::kUploadFolder + "/linked.plist").c_str()), 0);

    const std::string forged = "Zm9yZ2Vk";  // "forged"
    const std::string invalid = std::string("upload: invalid file name!\n\0", 28);
    EXPECT_THAT(upload("StoreLedger.plist " + forged), Not(HasSubstr("invalid")));
    EXPECT_THAT(upload("UserDefaults.plist " + forged), Not(HasSubstr("invalid")));
    EXPECT_THAT(upload("linked.plist " + forged), Not(HasSubstr("invalid")));
    EXPECT_THAT(upload("../StoreLedger.plist " + forged), StartsWith(invalid));
    EXPECT_THAT(upload("../../config/stargrid/UserDefaults.plist " + forged), StartsWith(invalid));
    EXPECT_THAT(upload(".. " + forged), StartsWith(invalid));
    EXPECT_THAT(upload(std::string("..\0x ", 5) + forged), StartsWith(invalid));
    EXPECT_THAT(upload(std::string("StoreLedger.plist\0.txt ", 23) + forged), StartsWith(invalid));

    EXPECT_EQ(contentsOf(ledger), "the game's ledger");
    EXPECT_EQ(contentsOf(preferences), "the game's preferences");
    EXPECT_EQ(contentsOf(writable + Console::kUploadFolder + "/StoreLedger.plist"), "forged");
    EXPECT_EQ(contentsOf(writable + Console::kUploadFolder + "/linked.plist"), "forged");
}

}  // namespace
}  // namespace kite
