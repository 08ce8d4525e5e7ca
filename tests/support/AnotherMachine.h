// A process standing for another machine that shares this one's home, as far as a claim can tell: in mount and UTS
// namespaces of its own (root only), with a boot id, a machine id and a host name of its own bound over this
// host's. For a forked child, before it executes the program.
#pragma once
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace kite::test {

struct Machine {
    std::string boot;     // as /proc/sys/kernel/random/boot_id gives it
    std::string machine;  // as /etc/machine-id gives it
    std::string host;
};

// Writes the machine's ids into `folder` and becomes that machine; false when it cannot.
inline bool becomeMachine(const std::string& folder, const Machine& machine) {
    const std::string boot = folder + "/boot_id-" + machine.boot;
    const std::string id = folder + "/machine-id-" + machine.machine;
    std::ofstream(boot) << machine.boot << "\n";
    std::ofstream(id) << machine.machine << "\n";
    return ::unshare(CLONE_NEWNS | CLONE_NEWUTS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(boot.c_str(), "/proc/sys/kernel/random/boot_id", nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(id.c_str(), "/etc/machine-id", nullptr, MS_BIND, nullptr) == 0 &&
           ::sethostname(machine.host.data(), machine.host.size()) == 0;
}

}  // namespace kite::test
