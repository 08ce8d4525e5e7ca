// A local game server started in-process for one test, with a client that speaks to it.
#pragma once
#include <httplib.h>
#include <json/json.h>
// httplib pulls in the resolver's old DELETE macro.
#undef DELETE

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tools/server/GameServer.h"

namespace stargrid_server::test {

inline Json::Value parseJson(const std::string& text) {
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string error;
    reader->parse(text.data(), text.data() + text.size(), &value, &error);
    return value;
}

inline std::string compactJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { startServer(":memory:"); }

    void startServer(const std::string& database) {
        GameServer::Options options;
        options.database = database;
        options.echo = false;
        std::string error;
        server = GameServer::start(options, &error);
        ASSERT_TRUE(server) << error;
        client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        client->set_read_timeout(10);
    }

    // A POST of a flat object of texts, as the game sends it; the parsed reply.
    Json::Value post(const std::string& path, const Json::Value& body) {
        auto result = client->Post(path.c_str(), compactJson(body) + "\n", "text/plain");
        return result ? parseJson(result->body) : Json::Value();
    }
    Json::Value get(const std::string& pathAndQuery) {
        auto result = client->Get(pathAndQuery.c_str());
        return result ? parseJson(result->body) : Json::Value();
    }
    bool control(const std::string& path, const Json::Value& body) {
        auto result = client->Post(path.c_str(), compactJson(body), "application/json");
        return result && result->status == 200;
    }

    Json::Value login(const std::string& phone, const std::string& password) {
        Json::Value body;
        body["devicetype"] = "0";
        body["cellphone"] = phone;
        body["password"] = password;
        body["channel"] = "8888";
        body["tag"] = "0";
        return post("/game/BindAccount", body);
    }

    std::unique_ptr<GameServer> server;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace stargrid_server::test
