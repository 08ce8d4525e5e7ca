// stargrid-claim: the game's claim on its player's folders, for scripts/play. It prints the folders as
// the game finds them, or claims them exactly as the game does and runs a command holding the claim,
// which the game that command starts inherits and takes for its own.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/FolderClaim.h"
#include "platform/PrintableText.h"
#include "platform/UserFolders.h"

namespace {

// The exit statuses of a command that was not run: the game, started instead, says why.
constexpr int kHeld = 75;        // a game holds the folders (here, or out of sight: another host's...)
constexpr int kUnclaimable = 73;  // they cannot be claimed
// Where the command finds the claim: the data folder's, then the config folder's.
const std::vector<int> kHandedDown{9, 8};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: stargrid-claim --folders\n"
                 "       stargrid-claim -- COMMAND [ARG...]\n"
                 "       stargrid-claim --let-go\n"
                 "  --folders   print the player's folders as the game finds them, one NAME=VALUE a line:\n"
                 "              home, data_home, config_home, cache_home (the XDG base folders), data and\n"
                 "              config (the game's own, made when missing; when one cannot be had, it says\n"
                 "              why, prints nothing and exits 1), cache (the game's own, made when missing;\n"
                 "              empty when it is refused); in a VALUE every control character, byte that\n"
                 "              is not UTF-8 and backslash is written \\xNN, and every backslash starts one\n"
                 "              (bash: printf -v folder '%%b' \"$VALUE\" gives the folder's name back)\n"
                 "  -- COMMAND  claim the player's folders as the game does, then run COMMAND holding the\n"
                 "              claim (the data folder's on descriptor 9, the config folder's on 8); when a\n"
                 "              game holds them, exit %d, when they cannot be claimed, %d, saying nothing\n"
                 "  --let-go    run by the COMMAND above as it ends (its game, if it started one, ended):\n"
                 "              take the claim it holds over, as a game would, and let it go, its claim\n"
                 "              link removed; a game's claim is left alone (exit 0 when the folders are\n"
                 "              free then, 1 when not)\n"
                 "  -h, --help  this usage\n",
                 kHeld, kUnclaimable);
}

int refuse(const std::string& what) {
    std::fprintf(stderr, "stargrid-claim: %s (stargrid-claim --help shows the usage)\n", what.c_str());
    return 2;
}

// A folder's name as --folders writes it: quoted as every message quotes outside text, and a backslash
// itself as \x5c, so that each backslash starts a \xNN and the name reads back exactly.
std::string folderValue(const std::string& name) {
    std::string value;
    std::string::size_type start = 0;
    for (std::string::size_type slash; (slash = name.find('\\', start)) != std::string::npos; start = slash + 1)
        value += platform::printableText(name.substr(start, slash - start)) + "\\x5c";
    return value + platform::printableText(name.substr(start));
}

int printFolders() {
    const std::string home = platform::homeFolder();
    std::vector<std::tuple<std::string, std::string, std::string>> folders{{"home", "HOME", home}};
    for (const auto& [name, variable] : {std::make_pair("data_home", "XDG_DATA_HOME"),
                                         std::make_pair("config_home", "XDG_CONFIG_HOME"),
                                         std::make_pair("cache_home", "XDG_CACHE_HOME")}) {
        const std::string base = platform::baseFolderPath(variable);
        if (base.empty()) {
            std::fprintf(stderr, "stargrid-claim: no home folder (HOME and the passwd entry name none), and %s is unset\n",
                         variable);
            return 1;
        }
        folders.emplace_back(name, variable, base);
    }
    // A name with a line break is refused, as it has been since the names were written as they stand;
    // checked before the game's folders are made under them.
    for (const auto& [name, variable, value] : folders) {
        if (value.find('\n') != std::string::npos) {
            std::fprintf(stderr, "stargrid-claim: the folder %s names has a line break in its name: %s\n",
                         variable.c_str(), platform::printableText(value).c_str());
            return 1;
        }
    }
    // Made and checked as the game does, what is wrong said in the game's words: folders the game would
    // not start on fail here too.
    const std::string data = platform::documentsFolder();
    const std::string config = platform::configFolder();
    if (data.empty() || config.empty()) return 1;
    folders.emplace_back("data", "", data);
    folders.emplace_back("config", "", config);
    // Empty when refused (another user's, a link), which is said where it is looked at.
    folders.emplace_back("cache", "", platform::cacheFolder(true));
    for (const auto& [name, variable, value] : folders)
        std::printf("%s=%s\n", name.c_str(), folderValue(value).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// While it lives, standard error goes nowhere: what the claim meets, the game started instead says.
class Quiet {
public:
    Quiet() : saved_(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3)) {
        const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0 && saved_ >= 0) dup2(nowhere, STDERR_FILENO);
        if (nowhere >= 0) close(nowhere);
    }
    ~Quiet() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int saved_;
};

// The claim the command stargrid-claim ran (this program's parent, or one above it) holds, taken over as its
// game would and let go at once: a command that ends without a game that took the claim leaves no claim link
// naming it behind. Taking it over is the one way to tell that claim from a game's, which is left as it is.
int letGo() {
    platform::FolderClaim::Result claimed = [] {
        Quiet quiet;
        return platform::FolderClaim::take(platform::FolderClaim::playersFolders());
    }();
    return claimed.state == platform::FolderClaim::State::Taken ? 0 : 1;
}

int runClaiming(char** command) {
    platform::FolderClaim::Result claimed = [] {
        Quiet quiet;
        return platform::FolderClaim::take(platform::FolderClaim::playersFolders());
    }();
    // What the claim set aside is gone by the time the game looks: said here.
    for (const std::string& note : claimed.notes)
        std::fprintf(stderr, "stargrid-claim: %s\n", platform::printableText(note).c_str());
    switch (claimed.state) {
        case platform::FolderClaim::State::Taken: break;
        case platform::FolderClaim::State::Failed: return kUnclaimable;
        default: return kHeld;
    }
    if (!claimed.claim->handDown(kHandedDown)) {
        std::fprintf(stderr, "stargrid-claim: cannot hand the claim down: %s\n", std::strerror(errno));
        return kUnclaimable;
    }
    execvp(command[0], command);
    const int error = errno;
    std::fprintf(stderr, "stargrid-claim: cannot run %s: %s\n", platform::printableText(command[0]).c_str(),
                 std::strerror(error));
    return error == ENOENT ? 127 : 126;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
        usage(stdout);
        return 0;
    }
    if (first == "--folders") return argc == 2 ? printFolders() : refuse("--folders takes nothing more");
    if (first == "--let-go") return argc == 2 ? letGo() : refuse("--let-go takes nothing more");
    if (first == "--") return argc > 2 ? runClaiming(argv + 2) : refuse("-- needs a command to run");
    if (first.empty())
        return refuse(argc > 1 ? "an empty argument is no option"
                               : "nothing to do: give --folders, -- COMMAND or --let-go");
    if (first[0] == '-') return refuse("unknown option " + platform::printableText(first));
    return refuse("unexpected argument \"" + platform::printableText(first) + "\"");
}
