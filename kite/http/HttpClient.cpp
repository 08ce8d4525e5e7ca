// The HTTP client: one worker per client, replies delivered on the main thread.
#include "kite/http/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/http/CookieStore.h"
#include "kite/http/HttpAsynConnection.h"
#include "kite/http/HttpJob.h"
#include "kite/scene/Director.h"
#include "platform/SerialQueue.h"

namespace kite {
namespace network {

// What a client shares with its worker. It outlives the client while the worker finishes.
struct HttpClient::Session {
    std::mutex mutex;
    HttpClient* client = nullptr;  // null once the client is gone: nothing more is posted
    Scheduler* scheduler = nullptr;
    std::atomic<bool> abandon{false};  // the process is ending: skip what is left, cut what runs
};

// One request as plain data; the worker never touches a reference-counted object.
class HttpClient::PerformJob : public platform::SerialQueue::Job {
public:
    PerformJob(std::shared_ptr<Session> session, HttpJob job, std::shared_ptr<CookieStore> cookies)
        : session_(std::move(session)), job_(std::move(job)), cookies_(std::move(cookies)) {}

    void run() override {
        if (session_->abandon) return;
        auto result = std::make_shared<HttpResult>();
        HttpAsynConnection(job_, cookies_.get(), session_->abandon).perform(*result);
        std::lock_guard<std::mutex> lock(session_->mutex);
        if (!session_->client) return;
        session_->scheduler->performFunctionInMainThread([session = session_, result] {
            HttpClient* client = nullptr;
            {
                std::lock_guard<std::mutex> lock(session->mutex);
                client = session->client;
            }
            if (client) client->dispatch(*result);
        });
    }

private:
    std::shared_ptr<Session> session_;
    HttpJob job_;
    std::shared_ptr<CookieStore> cookies_;
};

namespace {

HttpClient* instance = nullptr;

struct Settings {
    std::string certificateFile;
    std::string pinnedPublicKey;
    std::shared_ptr<CookieStore> cookies;  // null while cookies are off
};
Settings& settings() {
    static Settings shared;
    return shared;
}

// Workers of destroyed clients, still performing what was sent before. Dropped once done;
// at exit, what they still hold is cut short so that the process ends at once and cleanly.
struct RetiredWorker {
    std::unique_ptr<platform::SerialQueue> queue;
    std::shared_ptr<void> session;
    std::atomic<bool>* abandon;
};
class RetiredWorkers {
public:
    ~RetiredWorkers() {
        for (RetiredWorker& worker : workers_) *worker.abandon = true;
        workers_.clear();  // joins
    }
    void add(RetiredWorker worker) { workers_.push_back(std::move(worker)); }
    void dropFinished() {
        workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                      [](const RetiredWorker& worker) { return worker.queue->finished(); }),
                       workers_.end());
    }

private:
    std::vector<RetiredWorker> workers_;
};
RetiredWorkers& retiredWorkers() {
    static RetiredWorkers workers;
    return workers;
}

const char* methodName(HttpRequest::Type type) {
    switch (type) {
        case HttpRequest::Type::GET: return "GET";
        case HttpRequest::Type::POST: return "POST";
        case HttpRequest::Type::PUT: return "PUT";
        case HttpRequest::Type::DELETE: return "DELETE";
        default: return "";
    }
}

}  // namespace

HttpClient* HttpClient::getInstance() {
    if (!instance) {
        static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (!curlReady) log("HttpClient: libcurl could not start");
        retiredWorkers().dropFinished();
        instance = new (std::nothrow) HttpClient();
    }
    return instance;
}

void HttpClient::destroyInstance() {
    delete instance;
    instance = nullptr;
}

HttpClient::~HttpClient() {
    if (instance == this) instance = nullptr;
    if (session_) {
        std::lock_guard<std::mutex> lock(session_->mutex);
        session_->client = nullptr;
        session_->scheduler = nullptr;
    }
    waiting_.clear();
    if (worker_) {
        worker_->close();
        std::atomic<bool>* abandon = &session_->abandon;
        retiredWorkers().add(RetiredWorker{std::move(worker_), std::move(session_), abandon});
    }
    releaseAndClear(scheduler_);
    if (settings().cookies) settings().cookies->writeFile();
}

bool HttpClient::start() {
    Director* director = Director::getInstance();
    if (!director || !director->getScheduler()) return false;
    try {
        session_ = std::make_shared<Session>();
        worker_ = std::make_unique<platform::SerialQueue>("HttpClient");
    } catch (const std::exception& error) {
        log("HttpClient: cannot start the worker: %s", error.what());
        session_.reset();
        return false;
    }
    if (!worker_->running()) {
        log("HttpClient: cannot start the worker: %s", worker_->startError().c_str());
        worker_.reset();
        session_.reset();
        return false;
    }
    assignRetained(scheduler_, director->getScheduler());
    session_->client = this;
    session_->scheduler = scheduler_;
    return true;
}

void HttpClient::send(HttpRequest* request) {
    if (!worker_ && !start()) return;
    if (!request) return;
    HttpJob job;
    job.method = methodName(request->getRequestType());
    job.url = request->getUrl();
    job.headers = request->getHeaders();
    job.body = request->getRequestData();
    job.timeoutSeconds = connectTimeout;
    job.certificateFile = settings().certificateFile;
    job.pinnedPublicKey = settings().pinnedPublicKey;
    waiting_.emplace_back(request);
    if (!worker_->post(std::make_unique<PerformJob>(session_, std::move(job), settings().cookies))) {
        waiting_.pop_back();
    }
}

void HttpClient::dispatch(const HttpResult& result) {
    if (waiting_.empty()) return;
    RefPtr<HttpRequest> request = std::move(waiting_.front());
    waiting_.pop_front();
    HttpResponse* response = HttpResponse::create(request.get());
    if (!response) {
        log("HttpClient: no memory for the reply to %s", request->getUrl().c_str());
        return;
    }
    response->setSucceed(result.succeeded);
    response->setResponseCode(result.code);
    response->setResponseHeader(result.header);
    response->setResponseData(result.body);
    response->setErrorBuffer(result.error);
    // The callback may destroy this client: nothing below touches it.
    if (const HttpRequestCallback callback = request->getCallback()) {
        callback(this, response);
    } else if (request->getTarget() && request->getSelector()) {
        (request->getTarget()->*request->getSelector())(this, response);
    }
}

void HttpClient::setCookieFileName(const std::string& fileName) {
    std::shared_ptr<CookieStore>& cookies = settings().cookies;
    if (fileName.empty()) {
        cookies.reset();
    } else if (!cookies || cookies->getFileName() != fileName) {
        cookies = std::make_shared<CookieStore>(fileName);
    }
}

const std::string& HttpClient::getCookieFileName() {
    static const std::string none;
    return settings().cookies ? settings().cookies->getFileName() : none;
}

void HttpClient::setCertificateFileName(const std::string& fileName) { settings().certificateFile = fileName; }

void HttpClient::setPinnedPublicKey(const std::string& pin) { settings().pinnedPublicKey = pin; }

}  // namespace network
}  // namespace kite
