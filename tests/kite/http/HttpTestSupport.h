// What the HTTP tests share: stepping frames until replies arrive, and collecting the replies.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Scheduler.h"
#include "kite/http/HttpClient.h"
#include "kite/scene/Director.h"

namespace kite {
namespace test {

// Steps frames (scheduler, then the frame's autorelease pool) until done, for at most limit.
inline bool stepFramesUntil(const std::function<bool()>& done,
                            std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    Scheduler* scheduler = Director::getInstance()->getScheduler();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        scheduler->update(1.0f / 60);
        PoolManager::getInstance()->getCurrentPool()->clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the next frame
    }
    return true;
}

// One delivered reply, copied out of the response while it is valid.
struct Reply {
    std::string tag;
    bool succeeded = false;
    long code = 0;
    std::string header;
    std::string body;
    std::string error;
    std::thread::id thread;
};

// Sends a request whose callback appends its reply to replies.
inline void sendRequest(network::HttpRequest::Type type, const std::string& url, const std::string& tag,
                        std::vector<Reply>& replies, const std::string& body = {},
                        const std::vector<std::string>& headers = {}) {
    network::HttpRequest* request = network::HttpRequest::create();
    request->setRequestType(type);
    request->setUrl(url);
    request->setTag(tag);
    request->setRequestData(body.data(), body.size());
    request->setHeaders(headers);
    request->setResponseCallback([&replies](network::HttpClient*, network::HttpResponse* response) {
        Reply reply;
        reply.tag = response->getHttpRequest()->getTag();
        reply.succeeded = response->isSucceed();
        reply.code = response->getResponseCode();
        reply.header.assign(response->getResponseHeader()->begin(), response->getResponseHeader()->end());
        reply.body.assign(response->getResponseData()->begin(), response->getResponseData()->end());
        reply.error = response->getErrorBuffer();
        reply.thread = std::this_thread::get_id();
        replies.push_back(reply);
    });
    network::HttpClient::getInstance()->send(request);
}

}  // namespace test
}  // namespace kite
