// A leaderboard-sized table view of 10,000 rows scrolled without end: CPU per frame and the cells kept alive.
#include <benchmark/benchmark.h>

#include <GLES2/gl2.h>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Scene.h"
#include "kite/widgets/TableView.h"
#include "platform/Clock.h"

namespace {

using namespace kite;
using extension::TableView;
using extension::TableViewCell;
using extension::TableViewDataSource;

constexpr int kViewport = 330;
constexpr ssize_t kRows = 10000;
// Points the list moves per frame: a brisk fling.
constexpr float kScrollStep = 23.0f;

// The stage's context as the director's view.
class StageView : public GLView {
public:
    bool init(platform::GLContext* context) {
        context_ = context;
        setFrameSize(kViewport, kViewport);
        return context != nullptr;
    }
    bool isOpenGLReady() override { return true; }
    void makeCurrent() override { context_->makeCurrent(); }
    void swapBuffers() override { glFinish(); }
    void setIMEKeyboardState(bool) override {}
    void end() override { release(); }
    bool hasGLContext() const override { return true; }

private:
    platform::GLContext* context_ = nullptr;
};

// Rows of 50 points, each a coloured strip, taken from the free queue when one is there.
struct Rows : TableViewDataSource {
    Size cellSizeForTable(TableView*) override { return Size(kViewport, 50); }
    TableViewCell* tableCellAtIndex(TableView* table, ssize_t index) override {
        TableViewCell* cell = table->dequeueCell();
        if (!cell) {
            cell = TableViewCell::create();
            cell->addChild(LayerColor::create(Color4B(40, 160, 90, 255), kViewport, 48), 0, 1);
            ++made;
        }
        cell->getChildByTag(1)->setColor(Color3B(static_cast<uint8_t>(index * 7), 160, 90));
        return cell;
    }
    ssize_t numberOfCellsInTableView(TableView*) override { return kRows; }
    long made = 0;
};

struct Stage : bench::GLStage {
    Rows rows;
    TableView* table = nullptr;
};

Stage& stage() {
    static Stage s;
    static bool ready = false;
    if (ready) return s;
    ready = true;
    bench::openGLStage(s, kViewport);
    if (!s.context) return s;
    platform::Clock::setFixed(0.0);
    Director* director = Director::getInstance();
    director->setProjection(Director::Projection::_2D);
    auto* view = createAutoreleased<StageView>(s.context.get());
    view->setDesignResolutionSize(kViewport, kViewport, ResolutionPolicy::EXACT_FIT);
    director->setGLView(view);
    Scene* scene = Scene::create();
    s.table = TableView::create(&s.rows, Size(kViewport, kViewport));
    s.table->setVerticalFillOrder(TableView::VerticalFillOrder::TOP_DOWN);
    scene->addChild(s.table);
    s.table->reloadData();
    director->runWithScene(scene);
    return s;
}

// Moves the list on by one step, back to the top once the end is reached.
void scrollOn(TableView* table) {
    Vec2 offset = table->getContentOffset();
    offset.y += kScrollStep;
    if (offset.y > 0.0f) offset.y = table->minContainerOffset().y;
    table->setContentOffset(offset);
}

// Runs frame once per iteration, then reports the cells alive (in use and queued) and made.
template <class Frame>
void runScrolling(benchmark::State& state, Frame frame) {
    Stage& s = stage();
    if (!s.table) {
        state.SkipWithError("no GL context");
        return;
    }
    for (auto _ : state) frame(s.table);
    state.counters["live_cells"] = static_cast<double>(s.table->getUsedCellCount() + s.table->getFreedCellCount());
    state.counters["cells_made"] = static_cast<double>(s.rows.made);
}

// The table's own work: which cells show, recycling, placing.
void BM_TableViewScrollStep(benchmark::State& state) {
    runScrolling(state, [](TableView* table) {
        scrollOn(table);
        PoolManager::getInstance()->getCurrentPool()->clear();
    });
}
BENCHMARK(BM_TableViewScrollStep);

// A whole frame through the director: the scroll, the visit with clipping, drawing.
void BM_TableViewScrollFrame(benchmark::State& state) {
    runScrolling(state, [](TableView* table) {
        scrollOn(table);
        platform::Clock::advance(1.0 / 60.0);
        Director::getInstance()->mainLoop();
    });
}
BENCHMARK(BM_TableViewScrollFrame);

}  // namespace
