// The debug console: a table of text commands for inspecting and steering a running game, served to
// clients on 127.0.0.1, and a queue of log lines forwarded to them when asked.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kite/foundation/ConsoleConnection.h"
#include "kite/foundation/ConsoleInput.h"
#include "kite/foundation/Ref.h"

struct pollfd;

namespace kite {

class Console : public Ref {
public:
    // A handler replies through the connection it is given; work it posts to the main thread
    // keeps the connection, not its descriptor number.
    struct Command {
        std::string name;
        std::string help;
        std::function<void(const ConsoleConnectionPtr& connection, const std::string& args)> callback;
    };

    // At most this many clients are served at once; further ones are told so and closed.
    static constexpr int kMaxClients = 16;
    // Uploaded files go to this folder of the writable path, never over a file of the game.
    static constexpr const char* kUploadFolder = "ConsoleUploads";

    Console();
    ~Console() override;

    // Queues a log line for the clients while "debugmsg on" is set. Safe from any thread.
    void log(const char* text);
    // kite::log's way to the console that exists, if any.
    static void logToActiveConsole(const char* text);
    // Adds or replaces a command (before listening starts).
    void addCommand(const Command& command);
    const std::map<std::string, Command>& getCommands() const { return commands; }
    // Hands work to the main thread, which runs it at its next pass of the main loop. Safe from any thread.
    void postToMainThread(std::function<void()> function);
    // Runs the work handed over so far (main thread). The director's main loop calls it on every pass,
    // paused or stopped too, so that "director resume" and "director start" can wake it.
    void runPostedWork();

    // Listens on 127.0.0.1 only; port 0 takes a free port. False with a log line when the port
    // cannot be had.
    bool listenOnTCP(int port);
    int getListeningPort() const { return port_; }
    // Closes every connection and the listener.
    void stop();
    // Runs the command lines that `bytes` complete, as the client of `connection` sent them, until
    // the client leaves; `lines` keeps what is not complete yet. The listener's thread calls it with
    // what each client sends; a caller with bytes of its own may too.
    void receive(const ConsoleConnectionPtr& connection, ConsoleLineReader& lines, const char* bytes, std::size_t size);

    bool isSendingDebugStrings() const { return sendDebugStrings.load(); }
    // The touch identifier of the last simulated touch. Safe from any thread.
    intptr_t getTouchId() const { return touchId.load(); }
    void setTouchId(intptr_t id) { touchId.store(id); }

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

private:
    struct Client;

    void addBaseCommands();
    void commandAllocator(ConsoleConnection& connection);
    void commandHelp(ConsoleConnection& connection);
    void commandExit(ConsoleConnection& connection);
    void commandUpload(ConsoleConnection& connection, const std::string& args);
    void commandFileUtils(const ConsoleConnectionPtr& connection, const std::string& args);
    void run();
    void acceptClient();
    // Reads what the client sent; false when it is gone.
    bool readFromClient(Client& client);
    void dispatchLine(const ConsoleConnectionPtr& connection, const std::string& line);
    void closeClient(ConsoleConnection& connection);
    void flushDebugStrings();

    std::vector<int> descriptors;  // connected clients
    // What the console's thread watches for input: its wake-up pipe, the listener, then each client.
    std::vector<::pollfd> readSet;
    std::string writablePath;      // with a trailing slash
    std::map<std::string, Command> commands;
    std::atomic<bool> sendDebugStrings{false};
    std::mutex debugStringsMutex;
    std::vector<std::string> debugStrings;
    std::atomic<intptr_t> touchId{0};

    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::thread thread_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    int port_ = 0;
};

}  // namespace kite
