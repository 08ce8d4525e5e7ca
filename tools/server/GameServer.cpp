#include "tools/server/GameServer.h"

#include <json/json.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "platform/JsonReader.h"
#include "platform/PrintableText.h"
#include "tools/server/GameProtocol.h"
#include "tools/server/Pages.h"
#include "tools/server/StatReport.h"
#include "tools/server/WorkerPool.h"

namespace stargrid_server {
namespace {

constexpr std::size_t kLargestBody = 1 << 20;
// A connection that sends nothing for this long is closed; stalled ones hold a worker each
// until then, and the pool grows past them.
constexpr time_t kReadTimeoutSeconds = 5;
constexpr std::size_t kMostWorkers = 256;

// The host as a URL has it: an IPv6 address in brackets, or its colons would read as the port's.
std::string urlHost(const std::string& host) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return ipv6 ? "[" + host + "]" : host;
}

std::string authority(const std::string& host, int port) { return urlHost(host) + ":" + std::to_string(port); }

std::string compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

// httplib listens with a backlog of 5: in a burst of connections (a few stalled clients among
// them) the kernel drops the rest, and their senders retry a second or more later.
class WideBacklogServer : public httplib::Server {
public:
    bool widenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }
};

// A body that is one JSON object; empty, with why, for anything else.
std::optional<Json::Value> jsonObject(const std::string& body, std::string* why) {
    std::optional<Json::Value> value = platform::readJson(body, why, platform::JsonLimits{kLargestBody});
    if (value && value->isObject()) return value;
    if (value) *why = "not a JSON object";
    return std::nullopt;
}

// The members of a flat JSON object of texts; empty, with why, when the body is anything else.
std::optional<Fields> flatTextObject(const std::string& body, std::string* why) {
    std::optional<Json::Value> value = jsonObject(body, why);
    if (!value) return std::nullopt;
    Fields fields;
    for (const std::string& name : value->getMemberNames()) {
        if (!(*value)[name].isString()) {
            *why = "\"" + name + "\" is not a text";
            return std::nullopt;
        }
        fields[name] = (*value)[name].asString();
    }
    return fields;
}

// Why the request's body length cannot be taken, or empty when it can: a value that is no whole
// number (httplib reads "abc" as 0, and the body then as another request), or two different values
// in repeated headers or in one header's list (httplib reads the first; what follows it would then
// be read as another request).
std::string lengthRefusal(const httplib::Request& request) {
    std::optional<std::string> first;
    const auto [begin, end] = request.headers.equal_range("Content-Length");
    for (auto header = begin; header != end; ++header) {
        std::stringstream items(header->second);
        for (std::string item; std::getline(items, item, ',');) {
            const auto from = item.find_first_not_of(" \t");
            const auto to = item.find_last_not_of(" \t");
            item = from == std::string::npos ? std::string() : item.substr(from, to - from + 1);
            if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos)
                return "Content-Length \"" + header->second.substr(0, 40) + "\" is not a whole number";
            if (!first) first = item;
            if (item != *first) return "conflicting Content-Length values";
        }
    }
    return "";
}

// A 400 after which the connection closes: where the request's body ends is in doubt, so nothing
// after it may be read as another request. httplib closes a connection whose reply's content
// provider gives up, which this one does once the whole text is out; the request marked closing
// makes the reply say so.
void refuseAndClose(const httplib::Request& request, httplib::Response& response, const std::string& text) {
    auto& headers = const_cast<httplib::Request&>(request).headers;
    headers.erase("Connection");
    headers.emplace("Connection", "close");
    response.status = 400;
    response.set_content_provider(text.size(), "text/plain",
                                  [text](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      sink.write(text.data() + offset, length);
                                      return false;
                                  });
}

Fields queryFields(const httplib::Request& request) {
    Fields fields;
    for (const auto& [name, value] : request.params) fields[name] = value;
    return fields;
}

}  // namespace

// The HTTP side: every route, the overrides and the request log.
class GameServer::Routes {
public:
    explicit Routes(GameServer& server) : server_(server), protocol_(*server.store_) {}

    void install(httplib::Server& http) {
        // Bodies are read as they are, whatever type they claim: httplib would parse a form or
        // multipart body itself (and refuse a form past 8 KiB) before any route saw it. It runs
        // this before reading the body, on its own request object, which is not const.
        http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            if (const std::string why = lengthRefusal(request); !why.empty()) {
                refuseAndClose(request, response, why + "\n");
                record({0, request.method, request.path, queryText(request), "", 400, "refused: " + why});
                return httplib::Server::HandlerResponse::Handled;
            }
            const_cast<httplib::Request&>(request).headers.erase("Content-Type");
            return httplib::Server::HandlerResponse::Unhandled;
        });
        std::size_t count = 0;
        const GameProtocol::Endpoint* endpoints = GameProtocol::endpoints(&count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = endpoints[i].name;
            auto handler = [this, name](const httplib::Request& request, httplib::Response& response) {
                serveGame(request, response, name);
            };
            if (endpoints[i].method == GameProtocol::Method::Get)
                http.Get("/game/" + name, handler);
            else
                http.Post("/game/" + name, handler);
        }
        http.Get("/bus_ser_ios.html", [this](const httplib::Request& request, httplib::Response& response) {
            answer(request, response, GameProtocol::bootstrap(baseUrl(request)));
        });
        http.Get(R"(/pages/(\w+)\.html)", [this](const httplib::Request& request, httplib::Response& response) {
            servePage(request, response);
        });
        http.Get("/pages/icon.png", [this](const httplib::Request& request, httplib::Response& response) {
            response.status = 200;
            response.set_content(shareIcon(), "image/png");
            record({0, request.method, request.path, queryText(request), "", response.status, ""});
        });
        http.Post("/mstat/report", [this](const httplib::Request& request, httplib::Response& response) {
            serveStatReport(request, response);
        });
        installControls(http);
    }

private:
    std::string baseUrl(const httplib::Request& request) const {
        std::string host = request.get_header_value("Host");
        if (host.empty() || host.find_first_of("/ \t") != std::string::npos) {
            host = authority(server_.options_.host, server_.port_);
        }
        return "http://" + host;
    }

    void serveGame(const httplib::Request& request, httplib::Response& response, const std::string& name) {
        std::string why;
        std::optional<Fields> fields =
            request.method == "POST" ? flatTextObject(request.body, &why) : std::optional<Fields>(queryFields(request));
        if (!fields) {
            response.status = 400;
            response.set_content(compact(GameProtocol::failure(codes::kBadRequest)) + "\n",
                                 "application/json; charset=utf-8");
            record({0, request.method, request.path, queryText(request), request.body, 400, "refused: " + why});
            return;
        }
        GameStore::takeFailure();  // what an earlier request on this thread met is not this one's
        Json::Value reply = protocol_.handle(name, *fields, baseUrl(request));
        answer(request, response, std::move(reply), GameStore::takeFailure());
    }

    // Writes a game reply, as a waiting override says or as it is, and logs the exchange, with what
    // the database refused while the reply was made (its failure codes say only that it failed).
    void answer(const httplib::Request& request, httplib::Response& response, Json::Value reply,
                const std::string& databaseFailure = "") {
        LoggedRequest entry{0, request.method, request.path, queryText(request), request.body, 200, ""};
        if (!databaseFailure.empty()) entry.note = "database: " + databaseFailure;
        std::optional<ReplyOverride> override = server_.overrides_.take(request.path);
        if (override) {
            entry.note = override->describe() + (entry.note.empty() ? "" : " " + entry.note);
            if (override->delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(override->delayMs));
            if (override->code) reply = GameProtocol::failure(override->code->c_str());
            entry.status = override->drop ? 0 : override->status;
        }
        if (override && override->drop) {
            // Headers go out, then the connection closes before the first chunk: a cut-off reply.
            response.set_chunked_content_provider("application/json",
                                                  [](std::size_t, httplib::DataSink&) { return false; });
        } else {
            response.status = entry.status;
            const std::string body = override && override->body ? *override->body : compact(reply) + "\n";
            response.set_content(body, "application/json; charset=utf-8");
        }
        record(std::move(entry));
    }

    void record(LoggedRequest entry) {
        if (server_.options_.echo) {
            // What a client sent is quoted with its control characters escaped: one line each, and nothing
            // that reaches a terminal reading the log as a command.
            const std::string line = entry.method + " " + entry.path + (entry.query.empty() ? "" : "?") + entry.query +
                                     " -> " + std::to_string(entry.status) + (entry.note.empty() ? "" : " ") +
                                     entry.note + " " + entry.body;
            std::printf("stargrid-server: %s\n", platform::printableText(line).c_str());
            std::fflush(stdout);
        }
        server_.log_.add(std::move(entry));
    }

    static std::string queryText(const httplib::Request& request) {
        std::string::size_type mark = request.target.find('?');
        return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
    }

    void servePage(const httplib::Request& request, httplib::Response& response) {
        std::optional<std::string> html = pageNamed(request.matches[1]);
        response.status = html ? 200 : 404;
        response.set_content(html ? *html : "<!DOCTYPE html><p>No such page.</p>", "text/html; charset=utf-8");
        record({0, request.method, request.path, queryText(request), "", response.status, ""});
    }

    void serveStatReport(const httplib::Request& request, httplib::Response& response) {
        std::string error;
        std::optional<StatReport> report =
            decodeStatReport(request.body, request.get_header_value("Content-Encoding"), &error);
        LoggedRequest entry{0, request.method, request.path, "", "", 200, ""};
        if (report) {
            entry.note = "statistics: " + std::to_string(report->eventCount) + " events" +
                         (report->compressed ? ", compressed" : "");
            entry.body = report->json;
            response.set_content("{}", "application/json");
        } else {
            entry.status = 400;
            entry.note = "statistics: " + error;
            response.status = 400;
        }
        record(std::move(entry));
    }

    void installControls(httplib::Server& http);

    GameServer& server_;
    GameProtocol protocol_;
};

namespace {

// A control request's reply: 200 and "ok", or 400 and why not.
void controlAnswer(httplib::Response& response, bool done, const char* why) {
    response.status = done ? 200 : 400;
    response.set_content(done ? "ok\n" : std::string(why) + "\n", "text/plain");
}

// A control request's body: one JSON object, or nothing.
std::optional<Json::Value> controlSpec(const httplib::Request& request) {
    std::string why;
    return jsonObject(request.body, &why);
}

long integerMember(const Json::Value& object, const char* name) {
    const Json::Value& member = object[name];
    return member.isInt64() ? static_cast<long>(member.asInt64()) : 0;
}

// True when the member is absent or of the type asked for.
bool absentOr(const Json::Value& spec, const char* name, bool (Json::Value::*isType)() const) {
    return !spec.isMember(name) || (spec[name].*isType)();
}

std::optional<ReplyOverride> overrideFrom(const Json::Value& spec) {
    // A member of another type is refused, never taken for the default: "status": "500" must not answer 200.
    for (const char* text : {"path", "kind", "code", "body"})
        if (!absentOr(spec, text, &Json::Value::isString)) return std::nullopt;
    if (!absentOr(spec, "status", &Json::Value::isInt) || !absentOr(spec, "delayMs", &Json::Value::isInt) ||
        !absentOr(spec, "drop", &Json::Value::isBool))
        return std::nullopt;
    ReplyOverride override;
    override.path = spec["path"].isString() ? spec["path"].asString() : "";
    if (spec["code"].isString()) override.code = spec["code"].asString();
    if (spec["body"].isString()) override.body = spec["body"].asString();
    if (spec["status"].isInt()) override.status = spec["status"].asInt();
    if (spec["delayMs"].isInt()) override.delayMs = spec["delayMs"].asInt();
    override.drop = spec["drop"].isBool() && spec["drop"].asBool();
    if (spec["kind"].isString() && !override.applyKind(spec["kind"].asString())) return std::nullopt;
    if (override.status < 100 || override.status > 599) return std::nullopt;
    return override;
}

Json::Value logAsJson(const std::vector<LoggedRequest>& entries) {
    Json::Value list(Json::arrayValue);
    for (const LoggedRequest& entry : entries) {
        Json::Value item(Json::objectValue);
        item["sequence"] = static_cast<Json::Int64>(entry.sequence);
        item["method"] = entry.method;
        item["path"] = entry.path;
        item["query"] = entry.query;
        item["body"] = entry.body;
        item["status"] = entry.status;
        item["note"] = entry.note;
        list.append(item);
    }
    return list;
}

}  // namespace

void GameServer::Routes::installControls(httplib::Server& http) {
    http.Post("/control/reply", [this](const httplib::Request& request, httplib::Response& response) {
        std::optional<Json::Value> spec = controlSpec(request);
        std::optional<ReplyOverride> override = spec ? overrideFrom(*spec) : std::nullopt;
        if (override) server_.overrides_.push(std::move(*override));
        controlAnswer(response, override.has_value(), "expected {path, kind|code|body|status|delayMs|drop}");
    });
    http.Get("/control/log", [this](const httplib::Request& request, httplib::Response& response) {
        const long since = decimal(request.get_param_value("since")).value_or(0);
        response.set_content(compact(logAsJson(server_.log_.since(since))) + "\n", "application/json");
    });
    http.Post("/control/reset", [this](const httplib::Request&, httplib::Response& response) {
        server_.log_.clear();
        server_.overrides_.clear();
        controlAnswer(response, true, "");
    });
    http.Post("/control/account", [this](const httplib::Request& request, httplib::Response& response) {
        std::optional<Json::Value> spec = controlSpec(request);
        const bool valid = spec && (*spec)["cellphone"].isString() && (*spec)["password"].isString();
        const bool done =
            valid && server_.store_->seedAccount({(*spec)["cellphone"].asString(), (*spec)["password"].asString(),
                                                  integerMember(*spec, "score"), integerMember(*spec, "diamond"),
                                                  integerMember(*spec, "redbag")});
        controlAnswer(response, done, "expected {cellphone, password, score, diamond, redbag}");
    });
    http.Post("/control/prize", [this](const httplib::Request& request, httplib::Response& response) {
        std::optional<Json::Value> spec = controlSpec(request);
        const bool valid = spec && (*spec)["cellphone"].isString();
        const Prize prize{valid ? static_cast<int>(integerMember(*spec, "type")) : 0,
                          valid ? integerMember(*spec, "amount") : 0};
        const bool done = valid && (prize.type == Prize::Diamonds || prize.type == Prize::PhoneCredit) &&
                          server_.store_->setPrize((*spec)["cellphone"].asString(), prize);
        controlAnswer(response, done, "expected {cellphone, type: 1|2, amount}");
    });
    http.Post("/control/setting", [this](const httplib::Request& request, httplib::Response& response) {
        std::optional<Json::Value> spec = controlSpec(request);
        const std::string key = spec && (*spec)["key"].isString() ? (*spec)["key"].asString() : "";
        const bool known = key == "gametag" || key == "version" || key == "forcedupdate";
        const bool done =
            known && (*spec)["value"].isString() && server_.store_->setSetting(key, (*spec)["value"].asString());
        controlAnswer(response, done, "expected {key: gametag|version|forcedupdate, value}");
    });
}

GameServer::GameServer(const Options& options) : options_(options) {}

std::unique_ptr<GameServer> GameServer::start(const Options& options, std::string* error) {
    std::unique_ptr<GameServer> server(new GameServer(options));
    auto listener = std::make_unique<WideBacklogServer>();
    WideBacklogServer& http = *listener;
    server->http_ = std::move(listener);
    // One write per reply, or keep-alive requests stall on delayed acknowledgements.
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(kLargestBody);
    http.set_read_timeout(kReadTimeoutSeconds);
    http.new_task_queue = [] { return new WorkerPool(kMostWorkers); };  // httplib owns and deletes it
    // httplib's default sets SO_REUSEPORT, under which a second server binds the same port and the
    // kernel splits the connections between the two: a port in use must fail instead.
    http.set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    errno = 0;
    server->port_ = options.port == 0 ? http.bind_to_any_port(options.host)
                                      : (http.bind_to_port(options.host, options.port) ? options.port : -1);
    const bool listening = server->port_ > 0 && http.widenBacklog();
    if (!listening) {
        const std::string why = errno != 0 ? std::strerror(errno) : "the address cannot be bound";
        *error = "cannot listen on " + (options.port ? authority(options.host, options.port) : urlHost(options.host)) +
                 ": " + why;
        return nullptr;
    }
    // The database only once the server listens: one that cannot leaves no file behind. Connections that
    // come meanwhile wait in the backlog.
    server->store_ = GameStore::open(options.database, error, options.databaseOnlyThisProcess);
    if (!server->store_) return nullptr;
    server->routes_ = std::make_unique<Routes>(*server);
    server->routes_->install(http);
    server->thread_ = std::thread([&http] { http.listen_after_bind(); });
    // A stop before the loop runs would be missed: wait (bounded) until it runs.
    for (int i = 0; i < 5000 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!http.is_running()) {
        *error = "the listening loop did not start";
        return nullptr;
    }
    return server;
}

GameServer::~GameServer() {
    stop();
    if (thread_.joinable()) thread_.join();
}

std::string GameServer::url(const std::string& path) const {
    return "http://" + authority(options_.host, port_) + path;
}

void GameServer::wait() {
    if (thread_.joinable()) thread_.join();
}

void GameServer::stop() {
    if (http_) http_->stop();
}

}  // namespace stargrid_server
