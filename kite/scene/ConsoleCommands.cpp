#include "kite/scene/ConsoleCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "kite/foundation/Console.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"

namespace kite {

namespace {

struct Point {
    float x = 0.0f, y = 0.0f;
};

std::vector<std::string> splitAtSpaces(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t space; (space = text.find(' ', start)) != std::string::npos; start = space + 1)
        pieces.push_back(text.substr(start, space - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

// The whole piece must read as a number, without leading white space.
bool readNumber(const std::string& piece, float& value) {
    if (piece.empty() || std::isspace(static_cast<unsigned char>(piece[0]))) return false;
    char* end = nullptr;
    value = std::strtof(piece.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

bool readNumbers(const std::vector<std::string>& pieces, std::vector<float>& values) {
    values.clear();
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        float value = 0.0f;
        if (!readNumber(pieces[i], value)) return false;
        values.push_back(value);
    }
    return true;
}

enum class TouchPhase { Begin, Move, End };

void sendTouch(GLView& view, TouchPhase phase, intptr_t id, Point at) {
    intptr_t ids[1] = {id};
    float xs[1] = {at.x};
    float ys[1] = {at.y};
    if (phase == TouchPhase::Begin) view.handleTouchesBegin(1, ids, xs, ys);
    if (phase == TouchPhase::Move) view.handleTouchesMove(1, ids, xs, ys);
    if (phase == TouchPhase::End) view.handleTouchesEnd(1, ids, xs, ys);
}

bool insideView(const GLView& view, Point at) {
    const Size& frame = view.getFrameSize();
    return at.x >= 0 && at.y >= 0 && at.x <= frame.width && at.y <= frame.height;
}

float stepToward(float from, float to, float step) { return from < to ? from + step : from - step; }

// A begin at the start, a move per unit along the longer axis, an end at the finish (main thread).
// Both ends lie in the view, so the moves are an integer count no larger than the view.
void simulateSwipe(GLView& view, intptr_t id, Point from, Point to) {
    sendTouch(view, TouchPhase::Begin, id, from);
    const bool alongX = std::fabs(from.x - to.x) > std::fabs(from.y - to.y);
    const float distance = alongX ? std::fabs(from.x - to.x) : std::fabs(from.y - to.y);
    const Size& frame = view.getFrameSize();
    const long moves = std::min(static_cast<long>(std::ceil(distance)) - 1,
                                static_cast<long>(std::ceil(std::max(frame.width, frame.height))));
    Point at = from;
    float& atMajor = alongX ? at.x : at.y;
    float& atMinor = alongX ? at.y : at.x;
    const float endMajor = alongX ? to.x : to.y;
    const float endMinor = alongX ? to.y : to.x;
    for (long step = 0; step < moves; ++step) {
        // The minor axis moves by what is left of it over what is left of the major one.
        const float majorLeft = distance - static_cast<float>(step);
        if (atMajor != endMajor) atMajor = stepToward(atMajor, endMajor, 1.0f);
        if (atMinor != endMinor) atMinor = stepToward(atMinor, endMinor, std::fabs(endMinor - atMinor) / majorLeft);
        sendTouch(view, TouchPhase::Move, id, at);
    }
    sendTouch(view, TouchPhase::End, id, to);
}

const char kInvalidTouchArguments[] = "touch: invalid arguments.\n";

void commandTouch(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args == "help" || args == "-h") {
        connection->sendFormatted(
            "available touch directives:\n\ttap x y: simulate touch tap at (x,y)\n\tswipe x1 y1 x2 y2: simulate touch "
            "swipe from (x1,y1) to (x2,y2).\n");
        return;
    }
    const std::vector<std::string> pieces = splitAtSpaces(args);
    const bool tap = pieces[0] == "tap";
    if (!tap && pieces[0] != "swipe") return;
    std::vector<float> n;
    if (pieces.size() != (tap ? 3u : 5u) || !readNumbers(pieces, n)) {
        connection->sendFormatted(kInvalidTouchArguments);
        return;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    console.setTouchId(std::rand());
    const intptr_t id = console.getTouchId();
    if (tap) {
        const Point at{n[0], n[1]};
        console.postToMainThread([id, at] {
            if (GLView* view = Director::getInstance()->getOpenGLView()) {
                sendTouch(*view, TouchPhase::Begin, id, at);
                sendTouch(*view, TouchPhase::End, id, at);
            }
        });
        return;
    }
    // The view's size is the main thread's to read: the swipe is checked and played there.
    const Point from{n[0], n[1]}, to{n[2], n[3]};
    console.postToMainThread([connection, id, from, to] {
        GLView* view = Director::getInstance()->getOpenGLView();
        if (!view) return;
        if (!insideView(*view, from) || !insideView(*view, to)) {
            connection->sendFormatted(kInvalidTouchArguments);
            return;
        }
        simulateSwipe(*view, id, from, to);
    });
}

void commandDirector(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args == "help" || args == "-h") {
        connection->sendFormatted(
            "available director directives:\n\tpause, pause all scheduled timers, the draw rate will be 4 FPS to "
            "reduce CPU consumption\n\tend, exit this app.\n\tresume, resume all scheduled timers\n\tstop, Stops "
            "the animation. Nothing will be drawn.\n\tstart, Restart the animation again, Call this function "
            "only if [director stop] was called earlier\n");
        return;
    }
    // All of them change the director, which only the main thread may touch.
    if (args == "pause") console.postToMainThread([] { Director::getInstance()->pause(); });
    if (args == "resume") console.postToMainThread([] { Director::getInstance()->resume(); });
    if (args == "stop") console.postToMainThread([] { Director::getInstance()->stopAnimation(); });
    if (args == "start") console.postToMainThread([] { Director::getInstance()->startAnimation(); });
    if (args == "end") console.postToMainThread([] { Director::getInstance()->end(); });
}

const char* projectionName(Director::Projection projection) {
    switch (projection) {
        case Director::Projection::_2D: return "2d";
        case Director::Projection::_3D: return "3d";
        case Director::Projection::CUSTOM: return "custom";
    }
    return "unknown";
}

void commandProjection(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args == "2d" || args == "3d") {
        const auto projection = args == "2d" ? Director::Projection::_2D : Director::Projection::_3D;
        console.postToMainThread([projection] { Director::getInstance()->setProjection(projection); });
    } else if (args.empty()) {
        console.postToMainThread([connection] {
            connection->sendFormatted("Current projection: %s\n",
                                      projectionName(Director::getInstance()->getProjection()));
        });
    } else {
        connection->sendFormatted("Unsupported argument: '%s'. Supported arguments: '2d' or '3d'\n", args.c_str());
    }
}

void sendWindowReport(ConsoleConnection& connection) {
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    const Size points = director->getWinSize();
    const Size pixels = director->getWinSizeInPixels();
    const Size design = view ? view->getDesignResolutionSize() : Size::ZERO;
    const Rect visible = view ? view->getVisibleRect() : Rect::ZERO;
    const int policy = view ? static_cast<int>(view->getResolutionPolicy()) : 0;
    connection.sendFormatted("Window Size:\n\t%d x %d (points)\n\t%d x %d (pixels)\n\t%d x %d (design resolution)\n"
                           "Resolution Policy: %d\nVisible Rect:\n\torigin: %d x %d\n\tsize: %d x %d\n",
                           static_cast<int>(points.width), static_cast<int>(points.height),
                           static_cast<int>(pixels.width), static_cast<int>(pixels.height),
                           static_cast<int>(design.width), static_cast<int>(design.height), policy,
                           static_cast<int>(visible.origin.x), static_cast<int>(visible.origin.y),
                           static_cast<int>(visible.size.width), static_cast<int>(visible.size.height));
}

void commandResolution(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args.empty()) {
        console.postToMainThread([connection] { sendWindowReport(*connection); });
        return;
    }
    int width = 0, height = 0, policy = 0;
    char rest = 0;
    if (std::sscanf(args.c_str(), "%d %d %d %c", &width, &height, &policy, &rest) != 3 || width <= 0 || height <= 0 ||
        policy < 0 || policy > 4) {
        connection->sendFormatted("resolution: invalid arguments.\n");
        return;
    }
    console.postToMainThread([width, height, policy] {
        if (GLView* view = Director::getInstance()->getOpenGLView())
            view->setDesignResolutionSize(static_cast<float>(width), static_cast<float>(height),
                                          static_cast<ResolutionPolicy>(policy));
    });
}

int sendSceneGraph(ConsoleConnection& connection, Node* node, int depth) {
    connection.sendFormatted("%s %s\n", std::string(static_cast<std::size_t>(depth), '-').c_str(),
                           node->description().c_str());
    int total = 1;
    for (Node* child : node->getChildren()) total += sendSceneGraph(connection, child, depth + 1);
    return total;
}

void commandSceneGraph(Console& console, const ConsoleConnectionPtr& connection) {
    console.postToMainThread([connection] {
        connection->sendFormatted("\n");
        Scene* scene = Director::getInstance()->getRunningScene();
        const int total = scene ? sendSceneGraph(*connection, scene, 0) : 0;
        connection->sendFormatted("Total Nodes: %d\n", total);
        connection->sendFormatted("> ");
    });
}

void commandConfig(Console& console, const ConsoleConnectionPtr& connection) {
    console.postToMainThread([connection] {
        connection->sendFormatted("%s", Configuration::getInstance()->getInfo().c_str());
        connection->sendFormatted("> ");
    });
}

void commandTextures(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args == "flush") {
        console.postToMainThread([] {
            if (TextureCache* cache = Director::getInstance()->getTextureCache()) cache->removeAllTextures();
        });
    } else if (args.empty()) {
        console.postToMainThread([connection] {
            TextureCache* cache = Director::getInstance()->getTextureCache();
            connection->sendFormatted("%s", cache ? cache->dumpDebugInfo().c_str() : "");
            connection->sendFormatted("> ");
        });
    } else {
        connection->sendFormatted("Unsupported argument: '%s'. Supported arguments: 'flush' or nothing", args.c_str());
    }
}

}  // namespace

void addDirectorCommands(Console& console) {
    using Connection = const ConsoleConnectionPtr&;
    console.addCommand({"config", "Print the Configuration object",
                        [&console](Connection connection, const std::string&) { commandConfig(console, connection); }});
    console.addCommand({"fps", "Turn on / off the FPS. Args: [on | off] ",
                        [&console](Connection connection, const std::string& args) {
                            if (args == "on" || args == "off") {
                                const bool on = args == "on";
                                console.postToMainThread([on] { Director::getInstance()->setDisplayStats(on); });
                            } else {
                                console.postToMainThread([connection] {
                                    connection->sendFormatted("FPS is: %s\n",
                                                              Director::getInstance()->isDisplayStats() ? "on" : "off");
                                });
                            }
                        }});
    console.addCommand({"projection", "Change or print the current projection. Args: [2d | 3d]",
                        [&console](Connection connection, const std::string& args) {
                            commandProjection(console, connection, args);
                        }});
    console.addCommand({"resolution",
                        "Change or print the window resolution. Args: [width height resolution_policy | ]",
                        [&console](Connection connection, const std::string& args) {
                            commandResolution(console, connection, args);
                        }});
    console.addCommand({"scenegraph", "Print the scene graph", [&console](Connection connection, const std::string&) {
                            commandSceneGraph(console, connection);
                        }});
    console.addCommand({"texture", "Flush or print the TextureCache info. Args: [flush | ] ",
                        [&console](Connection connection, const std::string& args) {
                            commandTextures(console, connection, args);
                        }});
    console.addCommand({"director", "director commands, type -h or [director help] to list supported directives",
                        [&console](Connection connection, const std::string& args) {
                            commandDirector(console, connection, args);
                        }});
    console.addCommand({"touch",
                        "simulate touch event via console, type -h or [touch help] to list supported directives",
                        [&console](Connection connection, const std::string& args) {
                            commandTouch(console, connection, args);
                        }});
}

}  // namespace kite
