#include "kite/widgets/TableViewCell.h"

#include "kite/foundation/Create.h"

namespace kite {
namespace extension {

TableViewCell* TableViewCell::create() { return createAutoreleased<TableViewCell>(); }

}  // namespace extension
}  // namespace kite
