#include "tools/server/Pages.h"

#include <cstddef>

namespace stargrid_server {

// Made from Resources/Icon.png at build time.
extern const unsigned char kShareIconPng[];
extern const std::size_t kShareIconPngSize;

namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width\"><title>" +
           title +
           "</title>"
           "<style>body{font-family:sans-serif;margin:1.5em;color:#4069a7}h1{font-size:1.4em}</style>"
           "</head><body><h1>" +
           title + "</h1>" + body + "</body></html>\n";
}

}  // namespace

std::optional<std::string> pageNamed(const std::string& name) {
    if (name == "activity") {
        return page("精彩活动",
                    "<p>每局游戏结束后，绑定账号的玩家可获得一个分享红包，领取红包即得钻石。</p>"
                    "<p>排行榜前十名的玩家可领取钻石或话费奖励。</p>");
    }
    if (name == "agreement") {
        return page("用户协议",
                    "<p>绑定账号即表示您同意本游戏保存您的手机号、最高分数和钻石数，"
                    "仅用于排行榜与奖励发放。</p>");
    }
    if (name == "help") {
        return page("游戏帮助",
                    "<p>点击两个或更多相连的同色星星即可消除，一次消除越多，得分越高。</p>"
                    "<p>关卡结束时剩余的星星越少，奖励越多。</p>");
    }
    if (name == "share") {
        return page("Stargrid", "<p>快来和我一起玩 Stargrid 吧！</p>");
    }
    return std::nullopt;
}

std::string shareIcon() { return std::string(reinterpret_cast<const char*>(kShareIconPng), kShareIconPngSize); }

}  // namespace stargrid_server
