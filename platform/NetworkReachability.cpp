#include "platform/NetworkReachability.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/HostLoop.h"

namespace platform {
namespace {

// -1 read STARGRID_NETWORK, 0 forced down, 1 forced up, 2 the routing table.
std::atomic<int> forcedState{-1};

std::optional<bool> forced() {
    int state = forcedState.load();
    if (state == -1) {
        const char* env = std::getenv("STARGRID_NETWORK");
        state = env && std::strcmp(env, "up") == 0 ? 1 : env && std::strcmp(env, "down") == 0 ? 0 : 2;
        int unread = -1;
        forcedState.compare_exchange_strong(unread, state);
        state = forcedState.load();
    }
    if (state == 2) return std::nullopt;
    return state == 1;
}

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool hasAttribute(const rtmsg* route, int length, unsigned short type) {
    int left = length - static_cast<int>(NLMSG_LENGTH(sizeof(rtmsg)));
    for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
        if (attribute->rta_type == type) return true;
    }
    return false;
}

// Adds what one route of the main table tells to the state.
void readRoute(const nlmsghdr* header, RouteState* state) {
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(header));
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
    if (route->rtm_table != RT_TABLE_MAIN || route->rtm_type != RTN_UNICAST) return;
    if (route->rtm_dst_len == 0) state->defaultRoute = true;
    else if (!hasAttribute(route, static_cast<int>(header->nlmsg_len), RTA_GATEWAY)) state->directRoute = true;
}

// Reads the routing table through a dump request; false when the kernel does not answer.
bool dumpRoutes(RouteState* state) {
    Socket socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (socket.fd() < 0) return false;
    struct {
        nlmsghdr header;
        rtmsg message;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.rtm_family = AF_UNSPEC;
    if (send(socket.fd(), &request, request.header.nlmsg_len, 0) < 0) return false;
    std::vector<char> buffer(32768);
    // A routing table ends with a done message; a bound on the reads keeps a broken kernel answer finite.
    for (int reads = 0; reads < 4096; ++reads) {
        const ssize_t received = recv(socket.fd(), buffer.data(), buffer.size(), 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return false;
        int left = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE) return true;
            if (header->nlmsg_type == NLMSG_ERROR) return false;
            if (header->nlmsg_type == RTM_NEWROUTE) readRoute(header, state);
        }
    }
    return false;
}

}  // namespace

struct NetworkReachability::Watch {
    std::unique_ptr<Socket> socket;
    HostLoop::SourceId source = 0;
    std::function<void()> onChange;
    std::uint32_t lastFlags = 0;
    int lastForced = -1;
};

std::unique_ptr<NetworkReachability> NetworkReachability::forHostName(const std::string&) {
    return std::unique_ptr<NetworkReachability>(new NetworkReachability(Target::HostName, 0));
}

std::unique_ptr<NetworkReachability> NetworkReachability::forAddress(std::uint32_t ipv4NetworkOrder) {
    return std::unique_ptr<NetworkReachability>(new NetworkReachability(Target::Address, ipv4NetworkOrder));
}

std::unique_ptr<NetworkReachability> NetworkReachability::forLocalLink() {
    return std::unique_ptr<NetworkReachability>(new NetworkReachability(Target::LocalLink, htonl(0xA9FE0000u)));
}

NetworkReachability::NetworkReachability(Target target, std::uint32_t address) : target_(target), address_(address) {}

NetworkReachability::~NetworkReachability() { stopWatching(); }

std::optional<RouteState> NetworkReachability::routeState() {
    if (std::optional<bool> up = forced()) return RouteState{*up, *up};
    RouteState state;
    if (!dumpRoutes(&state)) return std::nullopt;
    return state;
}

void NetworkReachability::force(std::optional<bool> up) { forcedState = up ? (*up ? 1 : 0) : 2; }

bool NetworkReachability::readFlags(std::uint32_t* flags) const {
    std::optional<RouteState> state = routeState();
    if (!state) return false;
    const std::uint32_t hostOrder = ntohl(address_);
    const bool loopback = target_ == Target::Address && (hostOrder >> 24) == 127;
    *flags = 0;
    if (loopback) {
        *flags = reachability::kReachable | reachability::kIsLocalAddress | reachability::kIsDirect;
    } else if (target_ == Target::LocalLink) {
        if (state->directRoute) *flags = reachability::kReachable | reachability::kIsDirect;
    } else if (state->defaultRoute) {
        *flags = reachability::kReachable;
    }
    return true;
}

bool NetworkReachability::startWatching(std::function<void()> onChange) {
    stopWatching();
    auto socket = std::make_unique<Socket>(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (socket->fd() < 0) return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (bind(socket->fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) return false;
    watch_ = std::make_unique<Watch>();
    watch_->socket = std::move(socket);
    watch_->onChange = std::move(onChange);
    if (!readFlags(&watch_->lastFlags)) watch_->lastFlags = 0;
    watch_->lastForced = forcedState.load();
    watch_->source = HostLoop::main().addSource([this] { poll(); });
    return true;
}

void NetworkReachability::stopWatching() {
    if (!watch_) return;
    HostLoop::main().removeSource(watch_->source);
    watch_.reset();
}

bool NetworkReachability::isWatching() const { return watch_ != nullptr; }

void NetworkReachability::poll() {
    char buffer[8192];
    bool routesChanged = false;
    // Only that something changed matters: the table is read whole afterwards.
    for (int reads = 0; reads < 64; ++reads) {
        if (recv(watch_->socket->fd(), buffer, sizeof buffer, 0) <= 0) break;
        routesChanged = true;
    }
    const int forcedNow = forcedState.load();
    if (!routesChanged && forcedNow == watch_->lastForced) return;
    watch_->lastForced = forcedNow;
    std::uint32_t flags = 0;
    if (!readFlags(&flags) || flags == watch_->lastFlags) return;
    watch_->lastFlags = flags;
    if (watch_->onChange) watch_->onChange();
}

namespace {
std::mutex pathOverrideMutex;
std::optional<NetworkPath> pathOverride;
}  // namespace

NetworkPath currentNetworkPath() {
    {
        std::lock_guard<std::mutex> lock(pathOverrideMutex);
        if (pathOverride) return *pathOverride;
    }
    std::optional<RouteState> state = NetworkReachability::routeState();
    return state && state->defaultRoute ? NetworkPath::WiFi : NetworkPath::None;
}

void setNetworkPathForTesting(std::optional<NetworkPath> path) {
    std::lock_guard<std::mutex> lock(pathOverrideMutex);
    pathOverride = path;
}

}  // namespace platform
