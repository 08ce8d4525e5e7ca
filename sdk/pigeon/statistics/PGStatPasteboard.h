// Short texts on the persistent pasteboard that the maker's applications share.
#pragma once
#include <optional>
#include <string>

namespace pigeon {

class PGStatPasteboard {
public:
    static bool set(const std::string& key, const std::string& value);
    static std::optional<std::string> get(const std::string& key);
    // The bundle identifier without its last component ("x.y.z" gives "x.y").
    static std::string getCompanyDomain();
    static std::string companyDomainOf(const std::string& bundleIdentifier);
};

}  // namespace pigeon
