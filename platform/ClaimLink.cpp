// The claim link of a folder: its target, what a link names, and how it is taken, all through the folder's
// descriptor.
#include "platform/ClaimLink.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/AsciiText.h"

namespace platform {
namespace {

// A target longer than this is none the game wrote (a host name is 64 bytes at most).
constexpr std::size_t kLongestTarget = 512;
// Rounds of taking the link before it is said to come and go.
constexpr int kRounds = 8;
// Links moved aside: claim.link.WHY.NAME, NAME telling the launch that moved it (see asideName); and the links a
// launch times a link against (see madeLately), named alike.
constexpr std::string_view kLeftoverAside = "claim.link.leftover.";
constexpr std::string_view kClockAside = "claim.link.clock.";

// What the link's target and a moved-aside name say of the lock its maker held, and what they read.
MakersLock makersLock(LockHere lock) { return lock == LockHere::Unavailable ? MakersLock::None : MakersLock::Held; }
const char* lockWord(MakersLock lock) { return lock == MakersLock::Held ? "held" : "none"; }
std::optional<MakersLock> lockNamed(std::string_view word) {
    if (word == "held" || word == "none") return word == "held" ? MakersLock::Held : MakersLock::None;
    return std::nullopt;
}

// The target of the link at `name`: one longer than kLongestTarget is cut one byte past it. Nothing when it
// cannot be read (errno set).
std::optional<std::string> readTarget(int folder, const char* name) {
    char target[kLongestTarget + 1];
    const ssize_t size = ::readlinkat(folder, name, target, sizeof target);
    if (size < 0) return std::nullopt;
    return std::string(target, static_cast<std::size_t>(size));
}

std::optional<unsigned long long> number(std::string_view text) {
    const std::optional<long> value = wholeNumber(text, LONG_MAX);
    if (!value) return std::nullopt;
    return static_cast<unsigned long long>(*value);
}

std::optional<long long> pidNumber(std::string_view text) {
    const std::optional<long> value = wholeNumber(text, INT_MAX);
    if (!value || *value == 0) return std::nullopt;
    return *value;
}

// An older version's "HOST:PID" (a host name has no space).
std::optional<ProcessIdentity> olderIdentity(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == 0 || colon == std::string::npos || text.find(' ') < colon) return std::nullopt;
    const std::optional<long long> pid = pidNumber(std::string_view(text).substr(colon + 1));
    if (!pid) return std::nullopt;
    ProcessIdentity named;
    named.host = text.substr(0, colon);
    named.pid = *pid;
    return named;
}

std::string quoted(const std::string& text) { return "\"" + text.substr(0, 64) + "\""; }

// The link at `name` is the one judged: the same inode, the same target.
bool sameLink(int folder, const char* name, const struct stat& link, const std::string& target) {
    struct stat info;
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(info, link)) return false;
    const std::optional<std::string> text = readTarget(folder, name);
    return text && *text == target;
}

// A host name as part of a file name: letters, digits and dashes; the previous version kept dots too.
std::string nameSafe(const std::string& host, bool keepDots = false) {
    std::string safe;
    for (const char c : host.substr(0, 64))
        safe += isAsciiAlnum(c) || c == '-' || (keepDots && c == '.') ? c : '_';
    return safe;
}

// A name for a link this launch moves aside, saying why, and of its own: it tells the launch (pid, start, pid
// namespace, boot, the lock it held, machine id and host name, round), so no other launch moves anything there,
// and a later one can judge it as it judges a link. The host's part is cut to keep the name within 255 bytes.
std::string asideName(const std::string& why, const ProcessIdentity& self, LockHere lock) {
    static std::atomic<unsigned> rounds{0};
    const std::string maker = std::string(kClaimLinkName) + "." + why + "." + std::to_string(self.pid) + "." +
                              std::to_string(self.start) + "." + std::to_string(self.ns) + "." + self.boot + "." +
                              lockWord(makersLock(lock)) + ".m" + self.machine;
    const std::string round = "." + std::to_string(rounds++);
    const std::size_t room = NAME_MAX - std::min<std::size_t>(NAME_MAX, maker.size() + round.size() + 2);
    return maker + ".h" + nameSafe(self.host).substr(0, room) + round;
}

// Splits the text at each `separator`.
std::vector<std::string_view> parts(std::string_view text, char separator) {
    std::vector<std::string_view> found;
    for (std::size_t end; (end = text.find(separator)) != std::string_view::npos; text.remove_prefix(end + 1))
        found.push_back(text.substr(0, end));
    found.push_back(text);
    return found;
}

// What the launch that moved a leftover aside as `name` names, and the lock it held: by the fields of asideName;
// the previous version's PID.START.NS.BOOT.(mMACHINE|hHOST).ROUND (no host beside a machine id: not known as
// this host's); an older one's HOST-PID-START-ROUND (judged as an older link). Junk for any other name.
JudgedLink judgeAside(std::string_view name, std::string_view prefix, const ProcessIdentity& self) {
    name.remove_prefix(prefix.size());
    JudgedLink maker;
    maker.names = LinkNames::Junk;
    const std::vector<std::string_view> fields = parts(name, '.');
    const std::size_t count = fields.size();
    const bool current =
        count == 8 && lockNamed(fields[4]) && fields[5].substr(0, 1) == "m" && fields[6].substr(0, 1) == "h";
    const bool previous = count == 6 && fields[4].size() > 1 && (fields[4][0] == 'm' || fields[4][0] == 'h');
    if ((current || previous) && pidNumber(fields[0]) && number(fields[1]) && number(fields[2]) &&
        isIdText(fields[3]) && number(fields[count - 1])) {
        ProcessIdentity& named = maker.named;
        named = {"", "", std::string(fields[3]), *pidNumber(fields[0]), *number(fields[1]), *number(fields[2])};
        const std::string_view host = current ? fields[6].substr(1) : fields[4][0] == 'h' ? fields[4].substr(1) : "";
        named.machine = current ? fields[5].substr(1) : fields[4][0] == 'm' ? fields[4].substr(1) : "";
        named.host = !host.empty() && host == nameSafe(self.host) ? self.host : std::string(host);
        if (current) maker.maker = *lockNamed(fields[4]);
        maker.names = judgeIdentity(named, self, maker.reason, maker.seen);
        return maker;
    }
    const std::vector<std::string_view> older = parts(name, '-');
    const std::size_t olderCount = older.size();
    if (olderCount < 4 || !pidNumber(older[olderCount - 3]) || !number(older[olderCount - 2]) ||
        !number(older[olderCount - 1]))
        return maker;
    ProcessIdentity& named = maker.named;
    named.host = std::string(name.substr(0, name.size() - older[olderCount - 3].size() -
                                                older[olderCount - 2].size() - older[olderCount - 1].size() - 3));
    if (named.host == nameSafe(self.host, true)) named.host = self.host;
    named.pid = *pidNumber(older[olderCount - 3]);
    named.start = *number(older[olderCount - 2]);
    maker.names = judgeOlder(named, self, maker.reason);
    return maker;
}

// Removes the player's links that launches moved aside (or made to time a link by) and did not live to remove: those
// whose launch the table would take a link over from, judged as a link is (a game's socket says nothing of a launch).
// Another user's, and any other kind of file, stay.
void removeLeftAside(int folder, const Claimant& claimant) {
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0) ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name = entry->d_name;
        const std::string_view prefix =
            name.substr(0, kClockAside.size()) == kClockAside ? kClockAside : kLeftoverAside;
        struct stat info;
        if (name.substr(0, prefix.size()) != prefix ||
            ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        const JudgedLink maker = judgeAside(name, prefix, claimant.self);
        const ClaimStep step = maker.step(claimant.lock);
        if (maker.names != LinkNames::Junk && (step == ClaimStep::TakeOver || step == ClaimStep::TakeOverUnheard))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// Moves the link judged to `aside`; true when what was moved is that link, which then stays there. Anything
// else moved (another launch's fresh link) goes back with an exclusive hard link. 0 in `error` when the
// link went meanwhile or something else was put back.
bool moveAside(int folder, const JudgedLink& judged, const std::string& aside, int& error) {
    error = 0;
    ::unlinkat(folder, aside.c_str(), 0);  // never there: the name is this launch's own
    if (::renameat(folder, kClaimLinkName, folder, aside.c_str()) != 0) {
        if (errno != ENOENT) error = errno;
        return false;
    }
    if (sameLink(folder, aside.c_str(), judged.link, judged.target)) return true;
    if (::linkat(folder, aside.c_str(), folder, kClaimLinkName, 0) != 0 && errno != EEXIST) {
        error = errno;  // kept aside: the file system takes no hard link
        return false;
    }
    ::unlinkat(folder, aside.c_str(), 0);
    return false;
}

// Opens the link for a claim to hold: the one `judged` when given, else the one there naming `target` (what
// this launch just made). False with errno set when it cannot be; ESTALE when the link there is another by now:
// another launch moved the one made aside in the meantime, to judge it, and someone's took its place.
bool holdLink(int folder, const struct stat* judged, const std::string& target, HeldClaimLink& held) {
    held = {folder, ::openat(folder, kClaimLinkName, O_PATH | O_NOFOLLOW | O_CLOEXEC), {}, target};
    if (held.fd >= 0 && ::fstat(held.fd, &held.link) == 0) {
        const std::optional<std::string> named = judged ? std::nullopt : readTarget(held.fd, "");
        if (judged ? sameFile(held.link, *judged) : named == target) return true;
        errno = ESTALE;
    }
    const int error = errno;
    if (held.fd >= 0) ::close(held.fd);
    held = {};
    errno = error;
    return false;
}

// The links timed so far, each by its own (device, inode, time) and target: when it was made on this launch's clock.
struct TimedLink {
    dev_t device;
    ino_t inode;
    struct timespec time;
    std::string target;
    std::optional<std::chrono::steady_clock::time_point> made;  // none: it could not be timed
};
// A launch judges a handful of links; the oldest timings go first past this.
constexpr std::size_t kMostTimedLinks = 16;
std::mutex timedMutex;
std::deque<TimedLink> timedLinks;

// Whether the link was made within the start-up wait (see claimLinkMade). One that cannot be timed was not.
bool madeLately(int folder, const JudgedLink& judged, const Claimant& claimant) {
    const std::optional<std::chrono::steady_clock::time_point> made =
        claimLinkMade(folder, judged.link, judged.target, claimant);
    if (!made) return false;
    const auto age = std::chrono::steady_clock::now() - *made;
    // Dated later than now by more than the wait, it was not made in it either.
    return age < kStartUpWait && age > -kStartUpWait;
}

}  // namespace

std::optional<std::chrono::steady_clock::time_point> claimLinkMade(int folder, const struct stat& link,
                                                                   const std::string& target,
                                                                   const Claimant& claimant) {
    const auto sameTime = [](const struct timespec& one, const struct timespec& other) {
        return one.tv_sec == other.tv_sec && one.tv_nsec == other.tv_nsec;
    };
    {
        std::lock_guard<std::mutex> lock(timedMutex);
        for (const TimedLink& timed : timedLinks)
            if (timed.device == link.st_dev && timed.inode == link.st_ino && sameTime(timed.time, link.st_mtim) &&
                timed.target == target)
                return timed.made;
    }
    // Timed by the file system's own clock (on NFS, the server's), once: against a link made beside it now.
    std::optional<std::chrono::steady_clock::time_point> made;
    const std::string clock = asideName("clock", claimant.self, claimant.lock);
    struct stat beside;
    if (::symlinkat(".", folder, clock.c_str()) == 0) {
        const auto timedAt = std::chrono::steady_clock::now();
        const bool timed = ::fstatat(folder, clock.c_str(), &beside, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(folder, clock.c_str(), 0);
        const auto at = [](const struct timespec& time) {
            return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
        };
        if (timed)
            made = timedAt - std::chrono::duration_cast<std::chrono::steady_clock::duration>(at(beside.st_mtim) -
                                                                                           at(link.st_mtim));
    }
    std::lock_guard<std::mutex> lock(timedMutex);
    timedLinks.push_back({link.st_dev, link.st_ino, link.st_mtim, target, made});
    if (timedLinks.size() > kMostTimedLinks) timedLinks.pop_front();
    return made;
}

std::string claimLinkText(const ProcessIdentity& process, MakersLock lock) {
    const std::string locked = lock == MakersLock::Unsaid ? "" : std::string(" lock=") + lockWord(lock);
    return "pid=" + std::to_string(process.pid) + " start=" + std::to_string(process.start) +
           " ns=" + std::to_string(process.ns) + " boot=" + process.boot +
           (process.machine.empty() ? "" : " machine=" + process.machine) + locked + " host=" + process.host;
}

std::optional<ProcessIdentity> claimLinkIdentity(const std::string& text, MakersLock* lock) {
    // The fields before host= in any order, each once; one of a later form, a name of letters, digits, '-' and '_'
    // with a value, is passed over.
    std::string_view rest = text;
    std::optional<std::string_view> pid, start, ns, boot, machine, locked;
    const std::pair<std::string_view, std::optional<std::string_view>*> known[] = {
        {"pid", &pid}, {"start", &start}, {"ns", &ns}, {"boot", &boot}, {"machine", &machine}, {"lock", &locked}};
    while (rest.substr(0, 5) != "host=") {
        const std::string_view token = rest.substr(0, rest.find(' '));
        if (token.size() == rest.size()) return std::nullopt;
        rest.remove_prefix(token.size() + 1);
        const auto equals = token.find('=');
        if (equals == 0 || equals == std::string_view::npos || equals + 1 == token.size()) return std::nullopt;
        const std::string_view key = token.substr(0, equals);
        const auto slot =
            std::find_if(std::begin(known), std::end(known), [key](const auto& each) { return each.first == key; });
        if (slot == std::end(known)) {
            if (!std::all_of(key.begin(), key.end(), [](char c) { return isAsciiAlnum(c) || c == '-' || c == '_'; }))
                return std::nullopt;
            continue;
        }
        if (*slot->second) return std::nullopt;  // said twice
        *slot->second = token.substr(equals + 1);
    }
    ProcessIdentity named;
    named.host = rest.substr(5);
    const std::optional<long long> pidRead = pid ? pidNumber(*pid) : std::nullopt;
    const std::optional<unsigned long long> startRead = start ? number(*start) : std::nullopt;
    const std::optional<unsigned long long> nsRead = ns ? number(*ns) : std::nullopt;
    const std::optional<MakersLock> lockRead = locked ? lockNamed(*locked) : MakersLock::Unsaid;
    if (named.host.empty() || !pidRead || !startRead || !nsRead || !boot || !isIdText(*boot) ||
        (machine && !isIdText(*machine)) || !lockRead)
        return std::nullopt;
    named.pid = *pidRead;
    named.start = *startRead;
    named.ns = *nsRead;
    named.boot = *boot;
    if (machine) named.machine = *machine;
    if (lock) *lock = *lockRead;
    return named;
}

JudgedLink judgeClaimLink(int folder, const Claimant& claimant) {
    JudgedLink judged;
    if (::fstatat(folder, kClaimLinkName, &judged.link, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) judged = {LinkNames::Junk, MakersLock::Unsaid, "", {}, 0, std::strerror(errno), {}};
        return judged;
    }
    judged.names = LinkNames::Junk;
    if (!S_ISLNK(judged.link.st_mode)) {
        judged.reason = "it is not a link";
        return judged;
    }
    const std::optional<std::string> target = readTarget(folder, kClaimLinkName);
    if (!target) {
        // Gone since it was looked at: nobody's claim.
        judged.names = errno == ENOENT ? LinkNames::Nothing : LinkNames::Junk;
        judged.reason = std::strerror(errno);
        return judged;
    }
    judged.target = *target;
    const std::optional<ProcessIdentity> named = claimLinkIdentity(judged.target, &judged.maker);
    const std::optional<ProcessIdentity> older = named ? std::nullopt : olderIdentity(judged.target);
    if (named || older) judged.named = named ? *named : *older;
    if (judged.link.st_uid != ::geteuid()) {
        judged.names = LinkNames::OtherUsers;
        judged.reason = "it belongs to user " + std::to_string(judged.link.st_uid);
    } else if (claimant.handedDown && claimant.handedDown(judged.link)) {
        judged.names = LinkNames::Launcher;
    } else if (named && judged.target.size() <= kLongestTarget) {
        judged.names = judgeIdentity(*named, claimant.self, judged.reason, judged.seen);
    } else if (older && judged.target.size() <= kLongestTarget) {
        judged.names = judgeOlder(*older, claimant.self, judged.reason);
    } else {
        judged.reason = "it names no process in a form the game writes (" + quoted(judged.target) + ")";
    }
    if (judged.names == LinkNames::ThisProcess && claimant.heldHere && claimant.heldHere(judged.link))
        judged.names = LinkNames::GameHere;
    return judged;
}

void dropClaimLink(const HeldClaimLink& held) {
    if (held.folder >= 0 && sameLink(held.folder, kClaimLinkName, held.link, held.target))
        ::unlinkat(held.folder, kClaimLinkName, 0);
    if (held.fd >= 0) ::close(held.fd);
}

ClaimLinkTaking takeClaimLink(int folder, const std::string& path, const Claimant& claimant) {
    const std::string link = path + "/" + kClaimLinkName;
    const std::string text = claimLinkText(claimant.self, makersLock(claimant.lock));
    ClaimLinkTaking taking;
    auto failed = [&taking](const std::string& error) {
        taking.step = ClaimStep::Refuse;
        taking.error = error;
        return std::move(taking);
    };
    for (int round = 0; round < kRounds; ++round) {
        // The one step that claims: made where nothing is.
        if (::symlinkat(text.c_str(), folder, kClaimLinkName) == 0) {
            taking.step = ClaimStep::Make;
            if (holdLink(folder, nullptr, text, taking.held)) break;
            // Moved aside by a launch judging it (which puts it back), or taken over by now: judged again.
            if (errno == ENOENT || errno == ESTALE) continue;
            const std::string error = "cannot open " + link + ": " + std::strerror(errno);
            ::unlinkat(folder, kClaimLinkName, 0);  // made here a moment ago: nobody judged it a leftover
            return failed(error);
        }
        if (errno != EEXIST) return failed("cannot make " + link + ": " + std::strerror(errno));
        taking.judged = judgeClaimLink(folder, claimant);
        const JudgedLink& judged = taking.judged;
        taking.step = judged.step(claimant.lock);
        // Before this launch runs where a link names another process, it asks the folder's socket: a game that listens
        // there holds the folder, whatever its link says and whichever lock this launch took (a sandbox's home mounted
        // apart locks on its own), in whatever pid namespace.
        const bool beside = taking.step == ClaimStep::TakeOver || taking.step == ClaimStep::TakeOverUnheard ||
                            taking.step == ClaimStep::LockAlone;
        taking.listens = beside && claimant.gameListens && claimant.gameListens();
        if (taking.listens) taking.step = ClaimStep::HoldOutOfSight;
        // A game out of sight makes its link a moment before it listens: a young link is its, starting.
        const bool unseen = judged.names == LinkNames::OtherNamespace || judged.names == LinkNames::Hidden;
        if (taking.step == ClaimStep::TakeOverUnheard)
            taking.step =
                unseen && madeLately(folder, judged, claimant) ? ClaimStep::HoldOutOfSight : ClaimStep::TakeOver;
        if (taking.step == ClaimStep::Keep && holdLink(folder, &judged.link, judged.target, taking.held)) break;
        if (taking.step == ClaimStep::TakeOver || taking.step == ClaimStep::SetAside) {
            // A leftover (or the launcher's link) goes once it is moved aside; another user's stays there.
            const bool setAside = taking.step == ClaimStep::SetAside;
            const std::string aside =
                asideName(setAside ? "user-" + std::to_string(judged.link.st_uid) : "leftover", claimant.self,
                          claimant.lock);
            int error = 0;
            const bool moved = moveAside(folder, judged, aside, error);
            if (moved && !setAside) ::unlinkat(folder, aside.c_str(), 0);
            // What a launcher handed down is no leftover: it runs.
            if (moved && !setAside && judged.names != LinkNames::Launcher && judged.names != LinkNames::GameAbove)
                taking.tookOverLeftover = true;
            if (moved && setAside)
                taking.notes.push_back(link + " is no claim: " + judged.reason + ", not to the player; it is set aside as " +
                                       path + "/" + aside);
            if (error != 0) {
                const std::string why = judged.reason.empty() ? "" : " (" + judged.reason + ")";
                return failed("cannot move " + link + " aside" + why + ": " + std::strerror(error));
            }
        }
        if (taking.step == ClaimStep::Refuse) return failed("cannot use " + link + ": " + judged.reason);
        if (taking.step == ClaimStep::Hold || taking.step == ClaimStep::HoldOutOfSight ||
            taking.step == ClaimStep::LockAlone)
            return taking;
        // Make (gone since), Keep (gone since), TakeOver and SetAside (moved): made again.
    }
    if (!taking.taken()) return failed(link + " comes and goes");
    removeLeftAside(folder, claimant);
    return taking;
}

}  // namespace platform
