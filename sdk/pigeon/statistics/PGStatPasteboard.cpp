// Short texts on the maker's shared pasteboard.
#include "sdk/pigeon/statistics/PGStatPasteboard.h"

#include "platform/ApplicationInfo.h"
#include "platform/Pasteboard.h"

namespace pigeon {

std::string PGStatPasteboard::companyDomainOf(const std::string& bundleIdentifier) {
    const auto lastDot = bundleIdentifier.rfind('.');
    return lastDot == std::string::npos ? std::string() : bundleIdentifier.substr(0, lastDot);
}

std::string PGStatPasteboard::getCompanyDomain() { return companyDomainOf(platform::bundleIdentifier()); }

bool PGStatPasteboard::set(const std::string& key, const std::string& value) {
    std::optional<platform::Pasteboard> board = platform::Pasteboard::named(getCompanyDomain(), true);
    return board && board->setPersistent(true) && board->setString(key, value);
}

std::optional<std::string> PGStatPasteboard::get(const std::string& key) {
    std::optional<platform::Pasteboard> board = platform::Pasteboard::named(getCompanyDomain(), true);
    return board ? board->string(key) : std::nullopt;
}

}  // namespace pigeon
