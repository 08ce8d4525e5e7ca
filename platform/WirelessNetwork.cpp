#include "platform/WirelessNetwork.h"

// <net/if.h> first: the kernel's headers that <linux/wireless.h> pulls in then leave its names alone.
#include <net/if.h>
#include <linux/wireless.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// A datagram socket to put the interface questions to.
class QuerySocket {
public:
    QuerySocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~QuerySocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    QuerySocket(const QuerySocket&) = delete;
    QuerySocket& operator=(const QuerySocket&) = delete;

    // Asks the named interface; false when it cannot answer (not wireless, gone, no socket).
    bool ask(unsigned long request, const std::string& name, iwreq& query) const {
        if (fd_ < 0 || name.empty() || name.size() >= IFNAMSIZ) return false;
        std::strncpy(query.ifr_name, name.c_str(), IFNAMSIZ - 1);
        return ::ioctl(fd_, request, &query) == 0;
    }

private:
    int fd_;
};

bool speaksWireless(const QuerySocket& socket, const std::string& name) {
    iwreq query{};
    return socket.ask(SIOCGIWNAME, name, query);
}

}  // namespace

std::vector<std::string> supportedWirelessInterfaces() {
    std::vector<std::string> found;
    const QuerySocket socket;
    struct if_nameindex* interfaces = ::if_nameindex();
    if (!interfaces) return found;
    for (const struct if_nameindex* entry = interfaces; entry->if_index != 0 && entry->if_name; ++entry) {
        if (speaksWireless(socket, entry->if_name)) found.emplace_back(entry->if_name);
    }
    ::if_freenameindex(interfaces);
    return found;
}

std::optional<WirelessNetwork> currentWirelessNetwork(const std::string& interfaceName) {
    const QuerySocket socket;
    if (!speaksWireless(socket, interfaceName)) return std::nullopt;
    WirelessNetwork network;
    char essid[IW_ESSID_MAX_SIZE + 1] = {};
    iwreq query{};
    query.u.essid.pointer = essid;
    query.u.essid.length = IW_ESSID_MAX_SIZE;
    if (socket.ask(SIOCGIWESSID, interfaceName, query)) {
        network.ssid.assign(essid, std::min<std::size_t>(query.u.essid.length, IW_ESSID_MAX_SIZE));
    }
    iwreq ap{};
    if (socket.ask(SIOCGIWAP, interfaceName, ap)) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(ap.u.ap_addr.sa_data);
        // Drivers say "no access point" with an address of one byte repeated: 00, 44 or FF.
        const bool repeated = std::all_of(bytes, bytes + 6, [&](unsigned char b) { return b == bytes[0]; });
        const bool joined = !(repeated && (bytes[0] == 0x00 || bytes[0] == 0x44 || bytes[0] == 0xff));
        if (joined) {
            char text[18];
            std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3],
                          bytes[4], bytes[5]);
            network.bssid = text;
        }
    }
    return network;
}

}  // namespace platform
