// The leaderboard dialog: the server's best players in a table view, the player's own rank and
// best score, and a claim button when the server holds a prize for the player (diamonds,
// credited at once, or phone credit, sent to a number the player types).
#pragma once
#include <cstdint>
#include <string>

#include "Classes/EntityRanked.h"
#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Vector.h"
#include "kite/scene/Layer.h"
#include "kite/widgets/TableView.h"

namespace kite {
class Label;
class MenuItemImage;
class Sprite;
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class ServerReply;

class RankedLayer : public kite::Layer,
                    public kite::extension::TableViewDataSource,
                    public kite::extension::TableViewDelegate,
                    public PopupBoxLayer::PhoneOwner {
public:
    static RankedLayer* create();
    ~RankedLayer() override;
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    void scrollViewDidScroll(kite::extension::ScrollView*) override {}
    void scrollViewDidZoom(kite::extension::ScrollView*) override {}
    void tableCellTouched(kite::extension::TableView*, kite::extension::TableViewCell*) override {}
    kite::Size tableCellSizeForIndex(kite::extension::TableView* table, ssize_t index) override;
    kite::extension::TableViewCell* tableCellAtIndex(kite::extension::TableView* table, ssize_t index) override;
    ssize_t numberOfCellsInTableView(kite::extension::TableView* table) override;

    void menuCloseCallback();
    void menuReceiveCallback();
    void requestReceiveTelFee(const std::string& awardPhone) override;
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    std::int32_t getPrizeType() const { return prizeType; }
    std::int32_t getRowCount() const { return rowCount; }
    kite::extension::TableView* getTableView() const { return tableView; }
    kite::Label* getRankLabel() const { return rankLabel; }
    kite::Label* getScoreLabel() const { return scoreLabel; }
    kite::Sprite* getInfoTips() const { return infoTips; }
    kite::MenuItemImage* getReceiveButton() const { return receiveButton; }

    static constexpr ssize_t kMaxRows = 100;

private:
    void addOwnRankAndPrize(const kite::Size& size);
    void send(const char* tag, bool post, const std::string& awardPhone = "");
    void onGameRanked(const ServerReply& reply);
    bool readRows(const ServerReply& reply);
    void addTableView();
    void onRewardsType(const ServerReply& reply);
    void onPrizeClaimed(const ServerReply& reply, const char* message);
    void showPrize(bool claimable);

    kite::Sprite* background = nullptr;
    kite::Label* rankLabel = nullptr;
    kite::Label* scoreLabel = nullptr;
    kite::Sprite* infoTips = nullptr;
    kite::MenuItemImage* receiveButton = nullptr;
    std::int32_t prizeType = 0;
    kite::Vector<EntityRanked*> rows;
    std::int32_t rowCount = 0;
    kite::extension::TableView* tableView = nullptr;  // a child of the background
    // One claim at a time, and none once claimed: a double tap or a late repeat credits once.
    bool claimOutstanding = false;
    bool claimed = false;
};
