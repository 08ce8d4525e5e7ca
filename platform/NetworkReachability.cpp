#include "platform/NetworkReachability.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/HostLoop.h"
#include "platform/PrintableText.h"

namespace platform {
namespace {

// What NLMSG_OK tests, without its comparison of a signed length with the unsigned message length.
bool messageFits(const nlmsghdr* header, int left) {
    return left >= static_cast<int>(sizeof(nlmsghdr)) && header->nlmsg_len >= sizeof(nlmsghdr) &&
           header->nlmsg_len <= static_cast<unsigned>(left);
}

std::mutex overrideMutex;
std::optional<NetworkPath> overridePath;
std::optional<std::uint32_t> overrideFlags;
// Counts the test's changes, so that watchers notice one without a routing message.
std::atomic<unsigned> overrideChanges{0};

// The path is read per query, from several threads: an unknown value is told once, not at every query.
void warnUnknownForcedPath(const char* value) {
    static std::mutex mutex;
    static std::string warned;
    std::lock_guard<std::mutex> lock(mutex);
    if (warned == value) return;
    warned = value;
    std::fprintf(stderr, "NetworkReachability: unknown STARGRID_NETWORK \"%s\"; the routing table decides\n",
                 printableText(value).c_str());
}

// A path fixed by the test or by STARGRID_NETWORK; empty when the routing table decides.
std::optional<NetworkPath> fixedPath() {
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        if (overridePath) return overridePath;
    }
    if (const char* forced = std::getenv("STARGRID_NETWORK")) {
        if (std::strcmp(forced, "down") == 0) return NetworkPath::None;
        if (std::strcmp(forced, "up") == 0) return NetworkPath::WiFi;
        if (*forced) warnUnknownForcedPath(forced);
    }
    return std::nullopt;
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
    if (route->rtm_dst_len == 0)
        state->defaultRoute = true;
    else if (!hasAttribute(route, static_cast<int>(header->nlmsg_len), RTA_GATEWAY))
        state->directRoute = true;
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
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); messageFits(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE) return true;
            if (header->nlmsg_type == NLMSG_ERROR) return false;
            if (header->nlmsg_type == RTM_NEWROUTE) readRoute(header, state);
        }
    }
    return false;
}

}  // namespace

NetworkPath currentNetworkPath() {
    if (std::optional<NetworkPath> fixed = fixedPath()) return *fixed;
    std::optional<RouteState> state = NetworkReachability::routeState();
    return state && state->defaultRoute ? NetworkPath::WiFi : NetworkPath::None;
}

void setNetworkPathForTesting(std::optional<NetworkPath> path) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overridePath = path;
    ++overrideChanges;
}

void setReachabilityFlagsForTesting(std::optional<std::uint32_t> flags) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overrideFlags = flags;
    ++overrideChanges;
}

struct NetworkReachability::Watch {
    std::unique_ptr<Socket> socket;
    HostLoop::SourceId source = 0;
    std::function<void()> onChange;
    std::uint32_t lastFlags = 0;
    unsigned lastOverrideChanges = 0;
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
    RouteState state;
    if (!dumpRoutes(&state)) return std::nullopt;
    return state;
}

bool NetworkReachability::readFlags(std::uint32_t* flags) const {
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        if (overrideFlags) {
            *flags = *overrideFlags;
            return true;
        }
    }
    std::optional<RouteState> state;
    std::optional<NetworkPath> fixed = fixedPath();
    if (fixed) {
        const bool up = *fixed != NetworkPath::None;
        state = RouteState{up, up};
    } else {
        state = routeState();
    }
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
        if (fixed == NetworkPath::Cellular) *flags |= reachability::kIsWWAN;
    }
    return true;
}

bool NetworkReachability::startWatching(std::function<void()> onChange) {
    stopWatching();
    auto socket =
        std::make_unique<Socket>(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (socket->fd() < 0) return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (bind(socket->fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) return false;
    watch_ = std::make_unique<Watch>();
    watch_->socket = std::move(socket);
    watch_->onChange = std::move(onChange);
    if (!readFlags(&watch_->lastFlags)) watch_->lastFlags = 0;
    watch_->lastOverrideChanges = overrideChanges.load();
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
    const unsigned changesNow = overrideChanges.load();
    if (!routesChanged && changesNow == watch_->lastOverrideChanges) return;
    watch_->lastOverrideChanges = changesNow;
    std::uint32_t flags = 0;
    if (!readFlags(&flags) || flags == watch_->lastFlags) return;
    watch_->lastFlags = flags;
    if (watch_->onChange) watch_->onChange();
}

}  // namespace platform
