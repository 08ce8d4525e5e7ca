// The stand-in messenger's handling of requests.
#include "Messenger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/StoredFile.h"
#include "platform/UrlOpener.h"
#include "platform/UserFolders.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/ExchangeKeys.h"
#include "sdk/pigeon/PGApi.h"
#include "sdk/pigeon/PigeonApiUtil.h"

namespace standin {
namespace {

constexpr std::size_t kMaxUrlLength = 65536;
constexpr std::size_t kMaxAppIdLength = 64;
constexpr char kAppPrefix[] = "pigeon://app/";

// The log's file, and whether it lies in the game's own cache folder (not when $PIGEON_STANDIN_LOG names it).
struct LogPlace {
    std::string file;
    bool inGameFolder = false;
};

// The default is in the game's cache folder, found, checked and made as the game does (the player's own
// and closed to others); none without one, which is said where it is refused.
LogPlace logPlace() {
    if (const char* path = std::getenv("PIGEON_STANDIN_LOG"); path && path[0]) return {path, false};
    const std::string folder = platform::cacheFolder(true);
    if (folder.empty()) return {};
    return {folder + "/pigeon-standin.log", true};
}

// The log's descriptor, or -1, said once a run with why. Only a regular file is written (a FIFO is never
// waited on); the default log never through a link (the lines would go wherever it points), a file named
// in PIGEON_STANDIN_LOG as it is named, in a folder that is there.
int openLog(const LogPlace& place) {
    const auto links = place.inGameFolder ? platform::LinkAtFile::Refuse : platform::LinkAtFile::Follow;
    std::string why;
    const int fd = platform::openRegularFile(place.file, O_WRONLY | O_APPEND | O_CREAT, links, &why, 0600);
    if (fd < 0) {
        // A folder named for the log is not made: a mistyped one would be made anywhere, even at the root. What
        // its folder is, or a name that ends as a folder's does, is said for what it is, not in the system's words.
        const int error = errno;
        const std::string folder = std::filesystem::path(place.file).parent_path().string();
        struct stat above {};
        struct stat there {};
        const bool missing = !folder.empty() && ::stat(folder.c_str(), &above) != 0;
        if ((error == ENOENT || error == ENOTDIR) && missing) {
            why = "no such folder " + platform::printableText(folder);
        } else if ((error == EISDIR || error == ENOTDIR) && place.file.back() == '/' &&
                   !(::stat(place.file.c_str(), &there) == 0 && S_ISDIR(there.st_mode))) {
            why = "its name ends in /, as a folder's does";
        } else if (error == ENOTDIR && !missing && !folder.empty() && !S_ISDIR(above.st_mode)) {
            why = "its folder " + platform::printableText(folder) + " is not a folder";
        }
        platform::sayOnce("pigeon-standin: cannot write the log " + platform::printableText(place.file) + ": " + why);
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && (status.st_mode & 077) != 0) ::fchmod(fd, status.st_mode & 0700);
    return fd;
}

bool isAppId(const std::string& text) {
    if (text.empty() || text.size() > kMaxAppIdLength) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool openApplication(const std::string& appid, const std::string& rest) {
    const std::string url = pigeon::PigeonApiUtil::getAppUrl(appid) + rest;
    log("answer " + url);
    return platform::openUrl(url);
}

std::string describeMessage(const pigeon::AppCommunicateData& request) {
    std::string summary = request.scene() == 1 ? "to the timeline" : "to a chat";
    if (auto text = request.textMessage()) summary += "\ntext: " + platform::printableText(*text);
    if (auto media = request.mediaInternalMessage()) {
        summary += "\ntitle: " + platform::printableText(media->title) +
                   "\ndescription: " + platform::printableText(media->description) +
                   "\nurl: " + platform::printableText(media->mediaUrl) +
                   "\nthumbnail: " + std::to_string(media->thumbData.size()) + " bytes";
    }
    return summary;
}

// What the application sends the messenger: a share, or a sign-in on older systems. An answer (the
// messenger's, or the application's to the messenger) is none.
bool isRequest(const pigeon::AppCommunicateData& data) {
    const std::uint64_t command = data.command();
    return !data.returnFromApp() &&
           (command == pigeon::exchange::kMediaMessage || command == pigeon::exchange::kTextMessage ||
            command == pigeon::exchange::kAuthRequest);
}

// A request left on the pasteboard. Only a request is taken off it: an answer there (one this stand-in
// gave an earlier request, which its application has not read yet) stays for the application.
int answerExchange(const std::string& appid, const Decide& decide) {
    const std::optional<pigeon::AppCommunicateData> request =
        pigeon::AppCommunicate::appCommunicateDataForAppID(appid, isRequest);
    if (!request) {
        log("no request of " + appid + " on the pasteboard");
        return 1;
    }
    if (!isRequest(*request)) {
        const std::string what = request->returnFromApp() ? "an answer" : "a message that is no request";
        log("no request of " + platform::printableText(appid) + " on the pasteboard, but " + what + " (command " +
            std::to_string(request->command()) + "): it is left there, and nothing is sent");
        return 1;
    }
    pigeon::AppCommunicateData answer;
    if (auto auth = request->authRequest()) {
        log("sign-in of " + appid + " scope " + platform::printableText(auth->scope));
        pigeon::SendAuthResp response;
        response.state = auth->state;
        if (decide("sign in to " + appid) == Choice::Send) {
            response.code = "standin-code";
        } else {
            response.errCode = -4;
        }
        answer.RespToData(response);
    } else {
        const std::string summary = describeMessage(*request);
        log("share of " + appid + " " + summary);
        pigeon::SendMessageToPGResp response;
        response.errCode = decide(summary) == Choice::Send ? 0 : -2;
        log(response.errCode == 0 ? "sent" : "cancelled");
        answer.RespToData(response);
    }
    answer.setReturnFromApp(true);
    if (!pigeon::AppCommunicate::setAppCommunicateData(answer, appid)) {
        log("cannot put the answer on the pasteboard");
        return 1;
    }
    return openApplication(appid, "pigeon/sendresp/?") ? 0 : 1;
}

// A value of the application's request as it meant it (the application escapes its
// values); nothing when its escapes are broken.
std::optional<std::string> requestValue(const pigeon::PGApi::URLParams& params, const char* key) {
    const auto found = params.find(key);
    return found == params.end() ? "" : pigeon::percentDecodedUtf8(found->second);
}

int answerSignIn(const std::string& appid, const pigeon::PGApi::URLParams& params, const Decide& decide) {
    const std::optional<std::string> scope = requestValue(params, "scope");
    const std::optional<std::string> state = requestValue(params, "state");
    if (!scope || !state) {
        log("a malformed sign-in request of " + appid);
        return 1;
    }
    const std::string& stateText = *state;
    log("sign-in of " + appid + " scope " + platform::printableText(*scope));
    const bool granted = decide("sign in to " + appid) == Choice::Send;
    return openApplication(appid, std::string("oauth?code=") + (granted ? "standin-code" : "authdeny") +
                                      "&state=" + pigeon::pgApi_stringByEscapingForURLArgument(stateText))
               ? 0
               : 1;
}

int answerPayment(const std::string& appid, const Decide& decide) {
    log("payment of " + appid);
    const bool paid = decide("pay for " + appid) == Choice::Send;
    return openApplication(appid, std::string("pay/?returnKey=&ret=") + (paid ? "0" : "-2")) ? 0 : 1;
}

}  // namespace

// The lines name what players share and who signs in: the log and the game's folder are the owner's only,
// narrowed should an older version have left them open to others.
void log(const std::string& line) {
    std::fprintf(stderr, "pigeon-standin: %s\n", line.c_str());
    const LogPlace place = logPlace();
    if (place.file.empty()) return;
    const int fd = openLog(place);
    if (fd < 0) return;
    const std::string text = line + "\n";
    platform::writeAll(fd, text.data(), text.size());
    ::close(fd);
}

int handleUrl(const std::string& url, const Decide& decide) {
    if (url.size() > kMaxUrlLength) {
        log("a URL of " + std::to_string(url.size()) + " bytes is ignored");
        return 1;
    }
    if (url.rfind("pigeonapi://", 0) == 0) {
        log("opened " + platform::printableText(url));
        return 0;
    }
    if (url.rfind(kAppPrefix, 0) != 0) {
        log("not a messenger URL: " + platform::printableText(url, 200) +
            " (it takes pigeon://app/APPID/[COMMAND/][?PARAMETERS] or pigeonapi://...)");
        return 1;
    }
    const std::string::size_type idEnd = url.find('/', sizeof kAppPrefix - 1);
    const std::string appid =
        url.substr(sizeof kAppPrefix - 1, idEnd == std::string::npos ? 0 : idEnd - (sizeof kAppPrefix - 1));
    if (!isAppId(appid)) {
        log("no application id in " + platform::printableText(url, 200));
        return 1;
    }
    const std::string rest = url.substr(idEnd + 1);
    const std::string::size_type mark = rest.find('?');
    const std::string command = rest.substr(0, mark);
    const std::optional<pigeon::PGApi::URLParams> params =
        pigeon::PGApi::parseURLParams(mark == std::string::npos ? "" : rest.substr(mark + 1));
    if (!params) return 1;
    if (command.empty()) {
        log("opened by " + appid);
        return 0;
    }
    if (command == "sendreq/") return answerExchange(appid, decide);
    if (command == "auth/") return answerSignIn(appid, *params, decide);
    if (command == "pay/") return answerPayment(appid, decide);
    log("request " + platform::printableText(command) + " of " + appid + " noted, not answered");
    return 0;
}

}  // namespace standin
