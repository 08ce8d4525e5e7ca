// The reply to one HTTP request.
#include "kite/http/HttpResponse.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/http/HttpRequest.h"

namespace kite {
namespace network {

HttpResponse* HttpResponse::create(HttpRequest* request) {
    auto* response = new (std::nothrow) HttpResponse(request);
    if (response) response->autorelease();
    return response;
}

HttpResponse::HttpResponse(HttpRequest* request) : request(request) {
    if (request) request->retain();
}

HttpResponse::~HttpResponse() { releaseAndClear(request); }

}  // namespace network
}  // namespace kite
