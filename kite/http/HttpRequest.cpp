// One HTTP request of the game.
#include "kite/http/HttpRequest.h"

#include <new>

#include "kite/foundation/Create.h"

namespace kite {
namespace network {

HttpRequest* HttpRequest::create() {
    auto* request = new (std::nothrow) HttpRequest();
    if (request) request->autorelease();
    return request;
}

HttpRequest::~HttpRequest() { releaseAndClear(target); }

void HttpRequest::setRequestData(const char* data, std::size_t size) {
    if (data && size > 0) {
        requestData.assign(data, data + size);
    } else {
        requestData.clear();
    }
}

void HttpRequest::setResponseCallback(Ref* target, SEL_HttpResponse selector) {
    assignRetained(this->target, target);
    this->selector = selector;
}

}  // namespace network
}  // namespace kite
