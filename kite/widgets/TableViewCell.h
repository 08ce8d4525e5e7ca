// A row (or column) of a table view: a node that knows which index it shows.
#pragma once
#include <sys/types.h>

#include "kite/scene/Node.h"

namespace kite {
namespace extension {

class TableViewCell : public Node {
public:
    // The index of a cell that shows none.
    static constexpr ssize_t NO_INDEX = -1;

    static TableViewCell* create();

    // Back to showing no index, as a cell in the free queue does.
    void reset() { index = NO_INDEX; }
    ssize_t getIndex() const { return index; }
    void setIndex(ssize_t i) { index = i; }

private:
    ssize_t index = NO_INDEX;
};

}  // namespace extension
}  // namespace kite
