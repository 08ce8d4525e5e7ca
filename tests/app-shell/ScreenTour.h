// The screen tour's tools: the device profiles' geometry, the places of the screens' buttons (from the
// positions the screens give and the sizes of their pictures), an input script built step by step with a
// frame counter, and the contact sheet of a device's screens.
#pragma once
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Classes/BoardRules.h"
#include "platform/PngFile.h"

namespace stargrid::test {

struct Device {
    const char* name;
    int width, height;   // pixels
    float designHeight;  // the design is always 480 points wide
    bool tall() const { return designHeight > 720; }
};

// Test names and messages show the profile's name.
inline void PrintTo(const Device& device, std::ostream* out) { *out << device.name; }

inline const std::vector<Device>& devices() {
    static const std::vector<Device> all = {
        {"iphone4", 640, 960, 720}, {"iphone5", 640, 1136, 852}, {"ipad", 768, 1024, 720}};
    return all;
}

// A design point (from the bottom left).
struct Point {
    float x, y;
};

// The size of a picture of the bundle, in points.
inline std::pair<float, float> pictureSize(const std::string& file) {
    static std::map<std::string, std::pair<float, float>> sizes;
    auto found = sizes.find(file);
    if (found != sizes.end()) return found->second;
    std::optional<platform::PngImage> image = platform::readPng(STARGRID_SOURCE_DIR "/Resources/" + file);
    const std::pair<float, float> size =
        image ? std::make_pair(static_cast<float>(image->width), static_cast<float>(image->height))
              : std::make_pair(0.0f, 0.0f);
    return sizes[file] = size;
}

// The places of the screens' buttons on one device, as the screens lay them out.
class Places {
public:
    explicit Places(const Device& device) : h_(device.designHeight), tall_(device.tall()) {}

    // A point of a picture centred on the screen, from the picture's bottom-left corner; negative values count
    // from its right or top edge.
    Point onDialog(const std::string& file, float x, float y) const {
        const auto [w, h] = pictureSize(file);
        return {240 - w / 2 + (x < 0 ? w + x : x), h_ / 2 - h / 2 + (y < 0 ? h + y : y)};
    }
    Point onDialogMiddle(const std::string& file, float dx, float dy) const {
        const auto [w, h] = pictureSize(file);
        return onDialog(file, w / 2 + dx, h / 2 + dy);
    }

    // The menu's buttons: the middle row (help, info, sound) and the bottom row (shop, share, leaderboard,
    // activity), each a row of pictures 35 points apart centred on the screen.
    Point start() const { return {240, tall_ ? 185.0f : 160.0f}; }
    Point sale() const { return {75, h_ - 200}; }
    Point middleRow(int index) const {
        return inRow({"Menu/btn_help.png", "Menu/btn_info.png", "Menu/btn_voice_on.png"}, index,
                     tall_ ? 305.0f : 270.0f);
    }
    Point bottomRow(int index) const {
        return inRow({"Menu/btn_shop.png", "Menu/btn_share.png", "Menu/btn_ranked.png", "Menu/btn_activity.png"}, index,
                     tall_ ? 60.0f : 50.0f);
    }

    // The play screen.
    Point prop(int index) const {
        return {240.0f + 85.0f * static_cast<float>(index - 1), h_ - (tall_ ? 155.0f : 135.0f)};
    }
    Point pause() const { return {480 - 49, h_ - 100}; }
    Point screenClose() const { return {480 - 32, h_ - 30}; }
    static Point cell(int row, int column) {
        return {static_cast<float>(column) * 48 + 24, static_cast<float>(board::kRows - 1 - row) * 48 + 24};
    }
    // The paint chooser's back button, with the box placed over the touched row.
    static Point chooserBack(int row) {
        const auto [w, h] = pictureSize("Scene/prop_paint_box.png");
        const float boxY = static_cast<float>(board::kRows - 1 - row) * 48 + 109;
        return {240 - w / 2 + w - 40, boxY};
    }
    Point webBack() const { return {60, h_ - 40}; }

private:
    Point inRow(const std::vector<std::string>& files, int index, float y) const {
        float total = 35.0f * static_cast<float>(files.size() - 1);
        for (const std::string& f : files) total += pictureSize(f).first;
        float x = 240 - total / 2;
        for (int k = 0; k < index; ++k) x += pictureSize(files[static_cast<std::size_t>(k)]).first + 35;
        return {x + pictureSize(files[static_cast<std::size_t>(index)]).first / 2, y};
    }

    float h_;
    bool tall_;
};

// An input script written step by step: every step happens at the current frame, and waits move it on.
class TourScript {
public:
    TourScript(const Device& device, std::string folder) : device_(device), folder_(std::move(folder)) {}

    TourScript& wait(int frames) {
        frame_ += frames;
        return *this;
    }
    // A tap at a design point, then the frames it takes to answer.
    TourScript& tap(Point p, int settle = 20) {
        const float sx = static_cast<float>(device_.width) / 480.0f;
        const float sy = static_cast<float>(device_.height) / device_.designHeight;
        text_ += "tap " + std::to_string(frame_) + " " + std::to_string(static_cast<int>(std::lround(p.x * sx))) + " " +
                 std::to_string(static_cast<int>(std::lround((device_.designHeight - p.y) * sy))) + "\n";
        return wait(settle);
    }
    // Time for the game server: requests answered one after another, each in a quarter second of real time
    // while the frames stand still, and two frames for the game to take each answer and send the next.
    TourScript& network(int requests = 5) {
        for (int k = 0; k < requests; ++k) {
            text_ += "sleep " + std::to_string(frame_) + " 250\n";
            wait(2);
        }
        return *this;
    }
    TourScript& type(const std::string& text, int settle = 4) {
        text_ += "type " + std::to_string(frame_) + " " + text + "\n";
        return wait(settle);
    }
    // A screen of the tour: the frame's shot and its node report.
    TourScript& station(const std::string& name) {
        text_ += "shot " + std::to_string(frame_) + " " + folder_ + "/" + name + ".png\n";
        text_ += "nodes " + std::to_string(frame_) + " " + folder_ + "/" + name + ".txt\n";
        stations_.push_back(name);
        return wait(2);
    }
    std::string finish() {
        text_ += "quit " + std::to_string(frame_ + 1) + "\n";
        return text_;
    }
    const std::vector<std::string>& stations() const { return stations_; }

private:
    const Device& device_;
    std::string folder_;
    int frame_ = 1;
    std::string text_;
    std::vector<std::string> stations_;
};

// A shot scaled down by a whole factor (the mean of each square of pixels).
inline platform::PngImage scaledDown(const platform::PngImage& image, int factor) {
    platform::PngImage out{image.width / factor, image.height / factor, {}};
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum +=
                            image.rgba[(static_cast<std::size_t>(y * factor + dy) * image.width + x * factor + dx) * 4 +
                                       c];
                out.rgba[(static_cast<std::size_t>(y) * out.width + x) * 4 + c] =
                    static_cast<std::uint8_t>(sum / (factor * factor));
            }
    return out;
}

// The screens' shots side by side, each scaled down by a whole factor, in rows.
inline bool writeContactSheet(const std::vector<std::string>& shots, const std::string& path, int factor = 4,
                              int perRow = 6) {
    std::vector<platform::PngImage> images;
    for (const std::string& shot : shots)
        if (std::optional<platform::PngImage> image = platform::readPng(shot))
            images.push_back(scaledDown(*image, factor));
    if (images.empty()) return false;
    const int cellW = images[0].width + 8, cellH = images[0].height + 8;
    const int columns = std::min(perRow, static_cast<int>(images.size()));
    const int rows = (static_cast<int>(images.size()) + perRow - 1) / perRow;
    const int width = columns * cellW, height = rows * cellH;
    std::vector<std::uint8_t> sheet(static_cast<std::size_t>(width) * height * 4, 40);
    for (std::size_t k = 0; k < sheet.size(); k += 4) sheet[k + 3] = 255;
    for (std::size_t n = 0; n < images.size(); ++n) {
        const platform::PngImage& image = images[n];
        const int ox = static_cast<int>(n) % perRow * cellW + 4, oy = static_cast<int>(n) / perRow * cellH + 4;
        for (int y = 0; y < image.height && oy + y < height; ++y)
            for (int x = 0; x < image.width && ox + x < width; ++x)
                for (int c = 0; c < 4; ++c)
                    sheet[(static_cast<std::size_t>(oy + y) * width + ox + x) * 4 + c] =
                        image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4 + c];
    }
    return platform::writePng(path, width, height, sheet);
}

// A shot at half its size, for the README.
inline bool writeHalfSize(const std::string& shot, const std::string& path) {
    std::optional<platform::PngImage> image = platform::readPng(shot);
    if (!image) return false;
    const platform::PngImage half = scaledDown(*image, 2);
    return platform::writePng(path, half.width, half.height, half.rgba, true);
}

}  // namespace stargrid::test
