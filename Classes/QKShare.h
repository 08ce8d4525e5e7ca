// Shares a web page to the messenger: into a chat the user picks or onto the timeline.
#pragma once
#include <string>
#include <thread>

class QKShare {
public:
    // Made on first use, never freed.
    static QKShare* getInstance();
    virtual ~QKShare() = default;
    QKShare(const QKShare&) = delete;
    QKShare& operator=(const QKShare&) = delete;

    // The messenger's answer comes later, through the application's onResp.
    void shareToSession(const std::string& title, const std::string& description, const std::string& iconUrl,
                        const std::string& pageUrl);
    void shareToTimeline(const std::string& title, const std::string& description, const std::string& iconUrl,
                         const std::string& pageUrl);

private:
    QKShare() = default;
    // Waits for the icon fetch of the previous share (tests, and a second share).
    void finishIconFetch();
    void share(int scene, const std::string& title, const std::string& description, const std::string& iconUrl,
               const std::string& pageUrl);

    // Fetches one share's icon; joined before the next one starts.
    std::thread iconFetch_;

    friend class QKShareTest;
};
