// The top bar of the play screen: best score, level, target, score, diamonds and the three prop counts.
#pragma once
#include "kite/scene/Node.h"

namespace kite {
class Label;
}

class TopMenu : public kite::Node {
public:
    static TopMenu* create();
    bool init() override;
    // Its diamond count, drawn, tells the payments it shows.
    void visit(kite::Renderer* renderer, const kite::Mat4& parentTransform, uint32_t parentFlags) override;
    using kite::Node::visit;

    // Every number again from the progress.
    void refresh();
    // The level number swells and shrinks back once the new level's banner is up.
    void pulseLevel();

    kite::Label* highestLabel = nullptr;
    kite::Label* levelLabel = nullptr;
    kite::Label* targetLabel = nullptr;
    kite::Label* scoreLabel = nullptr;
    kite::Label* diamondLabel = nullptr;
    kite::Label* bombCountLabel = nullptr;
    kite::Label* paintCountLabel = nullptr;
    kite::Label* resetCountLabel = nullptr;

private:
    kite::Label* addNumber(const char* font, float x, float y);
    kite::Label* addCount(float x, float y);
};
