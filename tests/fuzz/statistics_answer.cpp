// The statistics endpoint's answers: the JSON text, then each online configuration record it
// carries, decoded and applied (module switches, application properties) as the module does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/JsonReader.h"
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static pigeon::PGStatDataConfigHolder* const holder = [] {
        fuzz::PrivateUserFolders::once();
        return pigeon::PGStatDataConfigHolder::initSingleton(nullptr);
    }();
    std::string error;
    const std::optional<Json::Value> answer = platform::readJson(fuzz::text(data, size), &error);
    if (!answer || !answer->isObject() || !(*answer)["cfg"].isObject()) return 0;
    // What updateOnlineConfig does, short of storing each record in the database.
    for (const char* type : {"1", "2"}) {
        pigeon::PGStatDataConfig config;
        if (!config.decode((*answer)["cfg"][type])) continue;
        config.type = static_cast<std::uint32_t>(std::stoul(type));
        holder->setConfig(config);
    }
    holder->getAppProperty("key");
    holder->resetForTesting();
    return 0;
}
