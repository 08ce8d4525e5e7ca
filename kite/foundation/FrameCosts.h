// Where the main thread's time goes, frame by frame: named steps (input, update, drawing, text
// rendering, image decoding...) time themselves, and with STARGRID_FRAME_COSTS naming a file each
// frame is written there as one line, "frame N: T ms; step t, step t, ...", its costliest steps
// first. Times are the thread's CPU time; a step nested in another counts in its own name only.
// Off (no clock read at all) when the variable is unset. Only the steps of the thread that made the
// recorder count (the director makes it on the main thread); steps on other threads are not timed.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kite {

class FrameCosts {
public:
    // Times the step while it lives (on the main thread).
    class Scope {
    public:
        explicit Scope(const char* step) {
            FrameCosts* costs = FrameCosts::active();
            timed_ = costs && costs->onItsThread();
            if (timed_) costs->begin(step);
        }
        ~Scope() {
            if (timed_) FrameCosts::active()->end();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        bool timed_;
    };

    // The recorder when the environment asks for one (read once), else null.
    static FrameCosts* active() { return instance().get(); }
    // Writes the frame ended now, counted from the end of the one before.
    static void frameEnded(unsigned int frame);

    // A recorder writing to the file (tests); null closes the current one.
    static void recordTo(const std::string& path);

    ~FrameCosts();
    FrameCosts(const FrameCosts&) = delete;
    FrameCosts& operator=(const FrameCosts&) = delete;

private:
    FrameCosts(std::FILE* out, std::string path);
    static std::unique_ptr<FrameCosts>& instance();
    bool onItsThread() const { return std::this_thread::get_id() == thread_; }
    void begin(const char* step);
    void end();
    void write(unsigned int frame);

    struct Open {
        const char* step;
        double start;
        double nested;  // time of the steps opened inside it
    };
    std::FILE* out_;
    std::string path_;
    bool writeFailed_ = false;  // said once; nothing more is written
    std::thread::id thread_;  // the one whose steps count: where it was made
    double frameStart_;
    std::vector<Open> open_;
    std::vector<std::pair<const char*, double>> spent_;  // exclusive time per step this frame
};

}  // namespace kite
