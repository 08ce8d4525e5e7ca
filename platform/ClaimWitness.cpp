#include "platform/ClaimWitness.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FolderClaim.h"
#include "platform/UrlHandoverSocket.h"

namespace platform {
namespace {

// How long the witness waits before it tries again to take a connection it could not (out of descriptors, or of
// memory): such a connection keeps the socket readable, and looking again at once would spin.
constexpr int kBackOffMs = 100;

}  // namespace

std::unique_ptr<ClaimWitness> ClaimWitness::listen(const std::string& identity, const std::string& whoListens,
                                                   std::string* error) {
    std::unique_ptr<ClaimWitness> witness(new ClaimWitness());
    witness->runtime_ = openRuntimeFolder();
    std::string why = "there is no runtime folder for its socket";
    witness->file_ = FolderClaim::socketName(identity) + ".sock";
    if (witness->runtime_) witness->listener_ = handover::listenAt(witness->runtime_, witness->file_, why, whoListens);
    if (witness->listener_ < 0 || ::pipe2(witness->stop_, O_CLOEXEC) != 0) {
        if (error) *error = witness->listener_ < 0 ? why : std::string("cannot make a pipe: ") + std::strerror(errno);
        return nullptr;
    }
    witness->path_ = witness->runtime_.pathOf(witness->file_);
    witness->thread_ = std::thread([raw = witness.get()] { raw->serve(); });
    return witness;
}

ClaimWitness::~ClaimWitness() {
    if (thread_.joinable()) {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
    }
    if (listener_ >= 0) {
        ::close(listener_);
        ::unlinkat(runtime_.descriptor(), file_.c_str(), 0);
    }
    for (const int fd : stop_)
        if (fd >= 0) ::close(fd);
}

void ClaimWitness::serve() const {
    ::pthread_setname_np(::pthread_self(), kThreadName);
    for (;;) {
        pollfd watched[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[1].revents != 0) return;
        int fd;
        while ((fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) ::close(fd);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) continue;
        // The connection waits on until a descriptor is free; meanwhile only the stop is listened for.
        pollfd stop{stop_[0], POLLIN, 0};
        if (::poll(&stop, 1, kBackOffMs) > 0) return;
    }
}

}  // namespace platform
