#include "kite/scene/ConsoleCommands.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "kite/foundation/Console.h"
#include "kite/foundation/ConsoleInput.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "platform/HostLoop.h"
#include "platform/InputEvent.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

enum class TouchPhase { Begin, Move, End };

void sendTouch(GLView& view, TouchPhase phase, intptr_t id, Vec2 at) {
    intptr_t ids[1] = {id};
    float xs[1] = {at.x};
    float ys[1] = {at.y};
    if (phase == TouchPhase::Begin) view.handleTouchesBegin(1, ids, xs, ys);
    if (phase == TouchPhase::Move) view.handleTouchesMove(1, ids, xs, ys);
    if (phase == TouchPhase::End) view.handleTouchesEnd(1, ids, xs, ys);
}

bool insideView(const GLView& view, Vec2 at) {
    const Size& frame = view.getFrameSize();
    return at.x >= 0 && at.y >= 0 && at.x <= frame.width && at.y <= frame.height;
}

float stepToward(float from, float to, float step) { return from < to ? from + step : from - step; }

// A begin at the start, the moves, an end at the finish (main thread).
void simulateSwipe(GLView& view, intptr_t id, Vec2 from, Vec2 to) {
    sendTouch(view, TouchPhase::Begin, id, from);
    for (const Vec2& at : consoleSwipeMoves(from, to, view.getFrameSize())) sendTouch(view, TouchPhase::Move, id, at);
    sendTouch(view, TouchPhase::End, id, to);
}

const char kInvalidTouchArguments[] = "touch: invalid arguments.\n";

void commandTouch(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    const ConsoleTouch touch = parseConsoleTouch(args);
    switch (touch.kind) {
        case ConsoleTouch::Kind::Help:
            connection->sendFormatted(
                "available touch directives:\n\ttap x y: simulate touch tap at (x,y)\n\tswipe x1 y1 x2 y2: simulate "
                "touch swipe from (x1,y1) to (x2,y2).\n");
            return;
        case ConsoleTouch::Kind::Invalid: connection->sendFormatted(kInvalidTouchArguments); return;
        case ConsoleTouch::Kind::Other: return;
        case ConsoleTouch::Kind::Tap:
        case ConsoleTouch::Kind::Swipe: break;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    console.setTouchId(std::rand());
    const intptr_t id = console.getTouchId();
    if (touch.kind == ConsoleTouch::Kind::Tap) {
        const Vec2 at(touch.x1, touch.y1);
        console.postToMainThread([id, at] {
            if (GLView* view = Director::getInstance()->getOpenGLView()) {
                sendTouch(*view, TouchPhase::Begin, id, at);
                sendTouch(*view, TouchPhase::End, id, at);
            }
        });
        return;
    }
    // The view's size is the main thread's to read: the swipe is checked and played there.
    const Vec2 from(touch.x1, touch.y1), to(touch.x2, touch.y2);
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
    // The app quits as on a termination signal: the host loop's quit runs the shell's shutdown, which ends
    // the director. The loop's next pass does it, outside the frame that runs this.
    if (args == "end")
        console.postToMainThread([] {
            platform::HostLoop::main().post(platform::InputEvent::of(platform::InputEvent::Type::CLOSE));
        });
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
        connection->sendFormatted("Unsupported argument: '%s'. Supported arguments: '2d' or '3d'\n",
                                  platform::printableText(args).c_str());
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

// Whether the view can draw a design resolution: the window it makes, in pixels, and the viewport it takes
// on the frame both within the largest viewport GL draws (beyond it GL would cut them silently). A view
// without GL draws nothing, and takes any.
bool viewCanDraw(const GLView& view, const Size& design, ResolutionPolicy policy) {
    if (!view.hasGLContext()) return true;
    GLint largest[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
    const auto fits = [&](const Size& size) {
        return size.width <= static_cast<float>(largest[0]) && size.height <= static_cast<float>(largest[1]);
    };
    const float scale = Director::getInstance()->getContentScaleFactor();
    return fits(Size(design.width * scale, design.height * scale)) && fits(view.getViewPortSizeFor(design, policy));
}

void commandResolution(Console& console, const ConsoleConnectionPtr& connection, const std::string& args) {
    if (args.empty()) {
        console.postToMainThread([connection] { sendWindowReport(*connection); });
        return;
    }
    ConsoleResolution resolution;
    if (!parseConsoleResolution(args, resolution)) {
        connection->sendFormatted("resolution: invalid arguments.\n");
        return;
    }
    // The view is the main thread's to read: the size is checked and set there.
    console.postToMainThread([connection, resolution] {
        GLView* view = Director::getInstance()->getOpenGLView();
        if (!view) return;
        const Size design(static_cast<float>(resolution.width), static_cast<float>(resolution.height));
        const auto policy = static_cast<ResolutionPolicy>(resolution.policy);
        if (!viewCanDraw(*view, design, policy)) {
            connection->sendFormatted("resolution: invalid arguments.\n");
            return;
        }
        view->setDesignResolutionSize(design.width, design.height, policy);
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
        connection->sendFormatted("Unsupported argument: '%s'. Supported arguments: 'flush' or nothing",
                                  platform::printableText(args).c_str());
    }
}

}  // namespace

std::vector<Vec2> consoleSwipeMoves(Vec2 from, Vec2 to, const Size& frame) {
    const bool alongX = std::fabs(from.x - to.x) > std::fabs(from.y - to.y);
    const float distance = alongX ? std::fabs(from.x - to.x) : std::fabs(from.y - to.y);
    // Whatever the ends, the count stays within the view's longer side.
    const float bounded = std::fmin(distance, std::max(frame.width, frame.height));
    const long count = static_cast<long>(std::ceil(bounded)) - 1;
    std::vector<Vec2> moves;
    Vec2 at = from;
    float& atMajor = alongX ? at.x : at.y;
    float& atMinor = alongX ? at.y : at.x;
    const float endMajor = alongX ? to.x : to.y;
    const float endMinor = alongX ? to.y : to.x;
    for (long step = 0; step < count; ++step) {
        // The minor axis moves by what is left of it over what is left of the major one.
        const float majorLeft = distance - static_cast<float>(step);
        if (atMajor != endMajor) atMajor = stepToward(atMajor, endMajor, 1.0f);
        if (atMinor != endMinor) atMinor = stepToward(atMinor, endMinor, std::fabs(endMinor - atMinor) / majorLeft);
        moves.push_back(at);
    }
    return moves;
}

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
