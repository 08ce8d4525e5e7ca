// Game-server replies as every screen reads them: the frame's checks, the typed members and the
// leaderboard's rows.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <json/value.h>

#include "Classes/EntityRanked.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Ref.h"
#include "kite/http/HttpRequest.h"
#include "kite/http/HttpResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kite::RefPtr<kite::network::HttpRequest> request(kite::network::HttpRequest::create());
    request->setTag("GameRanked");
    kite::RefPtr<kite::network::HttpResponse> response(kite::network::HttpResponse::create(request.get()));
    response->setSucceed(true);
    response->setResponseCode(200);
    response->setResponseData(std::vector<char>(data, data + size));
    const ServerReply reply = ServerReply::read(response.get());
    reply.succeeded();
    reply.text();
    reply.integer();
    for (const char* member : {"version", "forcedupdate", "score", "diamond", "gametag", "shareurl"}) {
        reply.text(member);
        reply.integer(member);
    }
    if (reply.body().isArray()) {
        for (const Json::Value& row : reply.body()) {
            kite::RefPtr<EntityRanked> entry(EntityRanked::create());
            entry->readRow(row);
        }
    }
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
    return 0;
}
