// A stand-in messenger for tests, opened with a "pigeon://app/APPID/sendreq/?" URL:
// it takes the application's request off the pasteboard, writes what it read
// into the record file (one "key=value" a line), answers on the pasteboard and
// opens the application's own URL, as the messenger does.
#include <cstdio>
#include <string>

#include "platform/UrlOpener.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/PigeonApiUtil.h"

namespace {

std::string appIdOf(const std::string& url) {
    const std::string prefix = "pigeon://app/";
    if (url.compare(0, prefix.size(), prefix) != 0) return std::string();
    const std::string::size_type end = url.find('/', prefix.size());
    return end == std::string::npos ? std::string() : url.substr(prefix.size(), end - prefix.size());
}

// What the peer read, and the response it gives to it.
std::string describeAndAnswer(const pigeon::AppCommunicateData& request, pigeon::AppCommunicateData& answer) {
    std::string lines = "command=" + std::to_string(request.command()) + "\nscene=" + std::to_string(request.scene()) +
                        "\nopenID=" + request.openID() + "\n";
    if (auto auth = request.authRequest()) {
        lines += "scope=" + auth->scope + "\nstate=" + auth->state + "\n";
        pigeon::SendAuthResp response;
        response.state = auth->state;
        answer.RespToData(response);
    } else {
        if (auto text = request.textMessage()) lines += "text=" + *text + "\n";
        if (auto media = request.mediaInternalMessage()) {
            lines += "title=" + media->title + "\nobjectType=" + std::to_string(media->objectType) +
                     "\nmediaUrl=" + media->mediaUrl + "\nthumbBytes=" + std::to_string(media->thumbData.size()) + "\n";
        }
        answer.RespToData(pigeon::SendMessageToPGResp());
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RECORD-FILE URL\n", argv[0]);
        return 2;
    }
    const std::string url = argv[2];
    const std::string appid = appIdOf(url);
    std::string record = "url=" + url + "\n";
    auto request = pigeon::AppCommunicate::appCommunicateDataForAppID(appid);
    if (request) {
        pigeon::AppCommunicateData answer;
        record += describeAndAnswer(*request, answer);
        record += pigeon::AppCommunicate::setAppCommunicateData(answer, appid) ? "answered=yes\n" : "answered=no\n";
        if (pigeon::PigeonApiUtil::isAppInstalledWithoutCatchException(appid)) {
            platform::openUrl(pigeon::PigeonApiUtil::getAppUrl(appid) + "pigeon/sendresp/?");
        }
    } else {
        record += "request=none\n";
    }
    std::FILE* file = std::fopen(argv[1], "w");
    if (!file) return 1;
    std::fputs(record.c_str(), file);
    return std::fclose(file) == 0 ? 0 : 1;
}
