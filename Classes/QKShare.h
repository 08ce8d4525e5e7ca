// Shares a web page to the messenger: into a chat the user picks or onto the timeline.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QKShare {
public:
    // Made on first use, never freed.
    static QKShare* getInstance();
    virtual ~QKShare() = default;
    QKShare(const QKShare&) = delete;
    QKShare& operator=(const QKShare&) = delete;

    // The messenger's answer comes later, through the application's onResp. A share whose icon is
    // still on its way when a newer one starts is dropped: only the newest page is sent.
    void shareToSession(const std::string& title, const std::string& description, const std::string& iconUrl,
                        const std::string& pageUrl);
    void shareToTimeline(const std::string& title, const std::string& description, const std::string& iconUrl,
                         const std::string& pageUrl);

private:
    // One share's icon download, on a thread of its own.
    struct IconFetch {
        std::thread thread;
        std::atomic<bool> abandon{false};  // cuts the transfer in flight
        std::atomic<bool> done{false};     // the thread has nothing left to do
    };

    QKShare() = default;
    void share(int scene, const std::string& title, const std::string& description, const std::string& iconUrl,
               const std::string& pageUrl);
    // Joins the downloads whose threads have finished; never waits for one still running.
    void releaseFinishedFetches();
    // Waits for every download (tests).
    void finishIconFetch();

    std::vector<std::unique_ptr<IconFetch>> iconFetches_;
    std::uint64_t newestShare_ = 0;  // the one share whose page may still go

    friend class QKShareTest;
};
