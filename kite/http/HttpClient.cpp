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
#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/SerialQueue.h"

namespace kite {
namespace network {

// What a client shares with its worker. It outlives the client while the worker finishes.
struct HttpClient::Session {
    std::mutex mutex;
    HttpClient* client = nullptr;  // null once the client is gone: nothing more is posted
    Scheduler* scheduler = nullptr;
    std::atomic<bool> abandon{false};  // the process is ending: skip what is left, cut what runs

    HttpClient* liveClient() {
        std::lock_guard<std::mutex> lock(mutex);
        return client;
    }
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
            if (HttpClient* client = session->liveClient()) client->dispatch(*result);
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

bool HttpClient::start(std::string* why) {
    Director* director = Director::getInstance();
    if (!director || !director->getScheduler()) {
        *why = "there is no main loop";
        return false;
    }
    std::string failure;
    try {
        // Kept when the worker cannot start: a refused request's reply still needs the main loop.
        if (!session_) {
            session_ = std::make_shared<Session>();
            assignRetained(scheduler_, director->getScheduler());
            session_->client = this;
            session_->scheduler = scheduler_;
        }
        worker_ = std::make_unique<platform::SerialQueue>("HttpClient");
        if (!worker_->running()) failure = worker_->startError();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (failure.empty()) return true;
    worker_.reset();
    if (platform::firstTimeSaid("HttpClient: the worker thread cannot start"))
        log("HttpClient: cannot start the worker thread (%s); requests fail at once", failure.c_str());
    *why = "the HTTP worker thread cannot start: " + failure;
    return false;
}

void HttpClient::send(HttpRequest* request) {
    if (!request) return;
    std::string why;
    if (!worker_ && !start(&why)) return failAtOnce(request, why);
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
        failAtOnce(request, "the worker takes no more requests");
    }
}

// Answered as the worker's replies are, on the main loop at the next frame, unless the client is gone by then.
void HttpClient::failAtOnce(HttpRequest* request, const std::string& why) {
    if (!session_) {
        log("HttpClient: %s is not sent and cannot be answered: %s", platform::printableText(request->getUrl()).c_str(),
            why.c_str());
        return;
    }
    HttpResult result;
    result.error = why;
    session_->scheduler->performFunctionInMainThread(
        [session = session_, request = RefPtr<HttpRequest>(request), result = std::move(result)] {
            if (HttpClient* client = session->liveClient()) client->respond(request.get(), result);
        });
}

void HttpClient::dispatch(const HttpResult& result) {
    if (waiting_.empty()) return;
    RefPtr<HttpRequest> request = std::move(waiting_.front());
    waiting_.pop_front();
    respond(request.get(), result);
}

void HttpClient::respond(HttpRequest* request, const HttpResult& result) {
    HttpResponse* response = HttpResponse::create(request);
    if (!response) {
        log("HttpClient: no memory for the reply to %s", platform::printableText(request->getUrl()).c_str());
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
