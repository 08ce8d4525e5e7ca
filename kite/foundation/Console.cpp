#include "kite/foundation/Console.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

constexpr int kPollMilliseconds = 50;

// kite::log reaches the console that exists, if any.
std::mutex activeConsoleMutex;
Console* activeConsole = nullptr;

// The upload folder is the owner's alone; a symbolic link in its place is not followed.
bool makePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return (status.st_mode & 07777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

}  // namespace

struct Console::Client {
    int fd = -1;  // what poll watches; the connection owns it
    ConsoleConnectionPtr connection;
    ConsoleLineReader lines;  // bytes of a line not yet complete
};

Console::Console() {
    addBaseCommands();
    if (FileUtils* files = FileUtils::getInstance()) writablePath = files->getWritablePath();
    if (!writablePath.empty() && writablePath.back() != '/') writablePath += '/';
    std::lock_guard<std::mutex> lock(activeConsoleMutex);
    activeConsole = this;
}

Console::~Console() {
    stop();
    std::lock_guard<std::mutex> lock(activeConsoleMutex);
    if (activeConsole == this) activeConsole = nullptr;
}

void Console::logToActiveConsole(const char* text) {
    std::lock_guard<std::mutex> lock(activeConsoleMutex);
    if (activeConsole) activeConsole->log(text);
}

void Console::log(const char* text) {
    if (!sendDebugStrings.load()) return;
    std::lock_guard<std::mutex> lock(debugStringsMutex);
    debugStrings.emplace_back(text);
}

void Console::addCommand(const Command& command) { commands[command.name] = command; }

void Console::postToMainThread(std::function<void()> function) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(function));
}

void Console::runPostedWork() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        work.swap(posted_);
    }
    for (auto& function : work) function();
}

// ---- the commands that need only the engine base

void Console::addBaseCommands() {
    addCommand({"allocator", "Display allocator diagnostics for all allocators",
                [this](const ConsoleConnectionPtr& connection, const std::string&) { commandAllocator(*connection); }});
    addCommand({"debugmsg", "Whether or not to forward the debug messages on the console. Args: [on | off]",
                [this](const ConsoleConnectionPtr& connection, const std::string& args) {
                    if (args == "on" || args == "off") {
                        sendDebugStrings = args == "on";
                    } else {
                        connection->sendFormatted("Debug message is: %s\n", sendDebugStrings ? "on" : "off");
                    }
                }});
    addCommand({"exit", "Close connection to the console",
                [this](const ConsoleConnectionPtr& connection, const std::string&) { commandExit(*connection); }});
    addCommand({"fileutils", "Flush or print the FileUtils info. Args: [flush | ] ",
                [this](const ConsoleConnectionPtr& connection, const std::string& args) {
                    commandFileUtils(connection, args);
                }});
    addCommand({"help", "Print this message",
                [this](const ConsoleConnectionPtr& connection, const std::string&) { commandHelp(*connection); }});
    addCommand({"upload", "upload file. Args: [filename base64_encoded_data]",
                [this](const ConsoleConnectionPtr& connection, const std::string& args) {
                    commandUpload(*connection, args);
                }});
    addCommand({"version", "print version string ", [](const ConsoleConnectionPtr& connection, const std::string&) {
                    connection->sendFormatted("%s\n", kiteVersion());
                }});
}

void Console::commandAllocator(ConsoleConnection& connection) {
    connection.sendFormatted(
        "allocator diagnostics not available. KT_ENABLE_ALLOCATOR_DIAGNOSTICS must be set to 1 in ktConfig");
}

void Console::commandHelp(ConsoleConnection& connection) {
    static const char header[] = "\nAvailable commands:\n";
    connection.send(header, sizeof(header));  // with its terminating zero
    for (const auto& entry : commands) {
        std::string line = "\t" + entry.first;
        const int tabs = 3 - static_cast<int>(entry.first.size() / 8);
        if (tabs >= 1) line.append(static_cast<std::size_t>(tabs), '\t');
        line += entry.second.help + "\n";
        connection.send(line.data(), line.size());
    }
}

void Console::commandExit(ConsoleConnection& connection) { closeClient(connection); }

void Console::commandFileUtils(const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args == "flush") {
        FileUtils::getInstance()->purgeCachedEntries();
    } else if (args.empty()) {
        postToMainThread([connection] {
            FileUtils* files = FileUtils::getInstance();
            connection->sendFormatted("\nSearch Paths:\n");
            for (const std::string& path : files->getSearchPaths())
                connection->sendFormatted("%s\n", platform::printableText(path).c_str());
            connection->sendFormatted("\nResolution Order:\n");
            for (const std::string& dir : files->getSearchResolutionsOrder())
                connection->sendFormatted("%s\n", platform::printableText(dir).c_str());
            connection->sendFormatted("\nWriteble Path:\n");
            connection->sendFormatted("%s\n", platform::printableText(files->getWritablePath()).c_str());
            connection->sendFormatted("\nFull Path Cache:\n");
            for (const auto& entry : files->getFullPathCacheEntries())
                connection->sendFormatted("%s -> %s\n", platform::printableText(entry.first).c_str(),
                                          platform::printableText(entry.second).c_str());
            connection->sendFormatted("> ");
        });
    } else {
        connection->sendFormatted("Unsupported argument: '%s'. Supported arguments: 'flush' or nothing",
                                  platform::printableText(args).c_str());
    }
}

// The file goes to the upload folder only: the name cannot leave it, and the game's own files (the
// store ledger, the preferences) are elsewhere, so an upload can never replace them. It is written
// whole or not at all, readable by its owner alone.
void Console::commandUpload(ConsoleConnection& connection, const std::string& args) {
    static const char cannotCreate[] = "can't create file!\n";
    ConsoleUpload upload;
    std::string why;
    if (!parseConsoleUpload(args, upload, &why)) {
        kite::log("Console: upload refused: %s", why.c_str());
        const std::string answer = "upload: " + why + "!\n";
        connection.send(answer.c_str(), answer.size() + 1);  // with the terminating zero clients have had
        return;
    }
    const std::string folder = writablePath + kUploadFolder;
    if (writablePath.empty() || !makePrivateFolder(folder) ||
        !platform::writeFileAtomically(folder + "/" + upload.name, upload.contents, 0600)) {
        kite::log("Console: cannot write the upload %s: %s", platform::printableText(upload.name).c_str(),
                  std::strerror(errno));
        connection.send(cannotCreate, sizeof(cannotCreate));
    }
}

// ---- transport

bool Console::listenOnTCP(int port) {
    if (thread_.joinable()) return false;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    // Loopback only: the console steers the game and is never reachable from elsewhere.
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, kMaxClients) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        kite::log("Console: cannot listen on 127.0.0.1:%d: %s", port, std::strerror(errno));
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        kite::log("Console: cannot start its thread (%s); the console does not listen", error.what());
        for (int* fd : {&listenFd_, &wakeFds_[0], &wakeFds_[1]}) {
            ::close(*fd);
            *fd = -1;
        }
        port_ = 0;
        return false;
    }
    return true;
}

void Console::stop() {
    if (thread_.joinable()) {
        const char wake = 1;
        (void)!::write(wakeFds_[1], &wake, 1);
        thread_.join();
    }
    // Work still posted may hold a connection: it finds it closed.
    for (auto& client : clients_) client->connection->close();
    clients_.clear();
    descriptors.clear();
    for (int* fd : {&listenFd_, &wakeFds_[0], &wakeFds_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    port_ = 0;
}

void Console::run() {
    for (;;) {
        readSet.assign({{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const auto& client : clients_) readSet.push_back({client->fd, POLLIN, 0});
        const int ready = ::poll(readSet.data(), readSet.size(), kPollMilliseconds);
        if (ready < 0 && errno != EINTR) return;
        if (readSet[0].revents) return;
        // Clients that left make room before newcomers are counted.
        for (std::size_t i = 2; i < readSet.size(); ++i) {
            Client& client = *clients_[i - 2];
            if (client.connection->isOpen() && (readSet[i].revents & (POLLIN | POLLHUP | POLLERR)) &&
                !readFromClient(client))
                closeClient(*client.connection);
        }
        clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                      [](const auto& c) { return !c->connection->isOpen(); }),
                       clients_.end());
        if (readSet[1].revents & POLLIN) acceptClient();
        flushDebugStrings();
    }
}

void Console::acceptClient() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    auto connection = std::make_shared<ConsoleConnection>(fd);
    if (static_cast<int>(clients_.size()) >= kMaxClients) {
        connection->sendFormatted("Console: too many connections\n");
        return;  // closed with the connection
    }
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->connection = std::move(connection);
    clients_.push_back(std::move(client));
    descriptors.push_back(fd);
}

bool Console::readFromClient(Client& client) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(client.fd, buffer, sizeof(buffer), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        if (got == 0) return false;
        receive(client.connection, client.lines, buffer, static_cast<std::size_t>(got));
        if (!client.connection->isOpen()) return true;
    }
}

void Console::receive(const ConsoleConnectionPtr& connection, ConsoleLineReader& lines, const char* bytes,
                      std::size_t size) {
    lines.append(bytes, size);
    std::string line;
    while (connection->isOpen()) {
        const ConsoleLineReader::Next next = lines.next(line);
        if (next == ConsoleLineReader::Next::None) return;
        if (next == ConsoleLineReader::Next::TooLong) {
            connection->sendFormatted("Console: command too long\n");
        } else {
            dispatchLine(connection, line);
        }
    }
}

void Console::dispatchLine(const ConsoleConnectionPtr& connection, const std::string& line) {
    const ConsoleCommandLine command = splitConsoleCommandLine(line);
    if (command.name.empty()) return;
    auto it = commands.find(command.name);
    if (it == commands.end()) {
        connection->sendFormatted("Unknown command %s. Type 'help' for options\n",
                                  platform::printableText(command.name).c_str());
        return;
    }
    it->second.callback(connection, command.args);
}

void Console::closeClient(ConsoleConnection& connection) {
    for (auto& client : clients_) {
        if (client->connection.get() != &connection) continue;
        descriptors.erase(std::remove(descriptors.begin(), descriptors.end(), client->fd), descriptors.end());
    }
    connection.close();
}

void Console::flushDebugStrings() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(debugStringsMutex);
        lines.swap(debugStrings);
    }
    for (const std::string& line : lines)
        for (const auto& client : clients_) client->connection->send(line.data(), line.size());
}

}  // namespace kite
