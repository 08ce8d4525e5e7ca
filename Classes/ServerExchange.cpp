#include "Classes/ServerExchange.h"

#include <json/writer.h>

#include <memory>
#include <vector>

#include "Classes/QKSingleton.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Ref.h"
#include "kite/http/HttpClient.h"
#include "kite/http/HttpRequest.h"
#include "kite/http/HttpResponse.h"
#include "kite/scene/Node.h"

namespace {

using kite::network::HttpClient;
using kite::network::HttpRequest;
using kite::network::HttpResponse;

// One reply on its way: delivered once, by the client or by the cut-off, whichever comes first.
struct Delivery {
    std::string tag;
    kite::RefPtr<kite::Node> screen;
    // A screen still being built is not on stage yet; one that was and is no more has closed.
    bool screenWasRunning = false;
    ServerExchange::ReplyHandler handler;
    bool done = false;
};

// Main thread only, as every reply is.
std::vector<std::shared_ptr<Delivery>>& waiting() {
    static std::vector<std::shared_ptr<Delivery>> deliveries;
    return deliveries;
}

void forget(const std::shared_ptr<Delivery>& delivery) {
    auto& list = waiting();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == delivery) {
            list.erase(it);
            return;
        }
    }
}

void deliver(const std::shared_ptr<Delivery>& delivery, HttpClient* client, HttpResponse* response) {
    if (delivery->done) return;
    delivery->done = true;
    forget(delivery);
    // Taken out first: the handler may send the next request or close the screen.
    kite::RefPtr<kite::Node> screen = std::move(delivery->screen);
    ServerExchange::ReplyHandler handler = std::move(delivery->handler);
    const bool closed =
        screen && !screen->isRunning() && (delivery->screenWasRunning || screen->getParent() == nullptr);
    if (closed) {
        kite::log("ServerExchange: the reply to %s came after its screen closed; dropped", delivery->tag.c_str());
        return;
    }
    if (handler) handler(client, response);
}

void send(HttpRequest::Type type, const std::string& url, const std::string& tag, const std::string* body,
          kite::Node* screen, ServerExchange::ReplyHandler handler, int connectTimeout) {
    auto delivery = std::make_shared<Delivery>();
    delivery->tag = tag;
    delivery->screen = screen;
    delivery->screenWasRunning = screen && screen->isRunning();
    delivery->handler = std::move(handler);
    waiting().push_back(delivery);

    kite::RefPtr<HttpRequest> request(HttpRequest::create());
    request->setRequestType(type);
    request->setUrl(url);
    request->setTag(tag);
    request->setResponseCallback(
        [delivery](HttpClient* client, HttpResponse* response) { deliver(delivery, client, response); });
    if (body) request->setRequestData(body->data(), body->size());
    HttpClient* client = HttpClient::getInstance();
    client->setConnectTimeout(connectTimeout);
    client->send(request.get());
}

}  // namespace

std::string ServerExchange::url(const std::string& path) {
    return QKSingleton::getInstance()->getHttpRequestURL() + "/" + path;
}

std::string ServerExchange::bodyText(const Fields& fields) {
    Json::Value object(Json::objectValue);
    for (const auto& [key, value] : fields) object[key] = value;
    Json::FastWriter writer;
    return writer.write(object);
}

void ServerExchange::get(const std::string& url, const std::string& tag, kite::Node* screen, ReplyHandler handler,
                         int connectTimeout) {
    send(HttpRequest::Type::GET, url, tag, nullptr, screen, std::move(handler), connectTimeout);
}

void ServerExchange::post(const std::string& url, const std::string& tag, const Fields& fields, kite::Node* screen,
                          ReplyHandler handler, int connectTimeout) {
    const std::string body = bodyText(fields);
    send(HttpRequest::Type::POST, url, tag, &body, screen, std::move(handler), connectTimeout);
}

void ServerExchange::destroyClient(bool quietly) {
    std::vector<std::shared_ptr<Delivery>> cutOff;
    cutOff.swap(waiting());
    HttpClient::destroyInstance();
    for (const std::shared_ptr<Delivery>& delivery : cutOff) {
        if (quietly) {
            delivery->done = true;
            delivery->screen.reset();
            delivery->handler = nullptr;
            continue;
        }
        kite::RefPtr<HttpRequest> request(HttpRequest::create());
        request->setTag(delivery->tag);
        kite::RefPtr<HttpResponse> response(HttpResponse::create(request.get()));
        response->setSucceed(false);
        response->setResponseCode(-1);
        response->setErrorBuffer("the request was cut off when the HTTP client was destroyed");
        deliver(delivery, nullptr, response.get());
    }
}

std::size_t ServerExchange::waitingCount() { return waiting().size(); }
