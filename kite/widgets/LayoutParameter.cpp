// Layout parameters: creation and cloning.
#include "kite/widgets/LayoutParameter.h"

#include "kite/foundation/Create.h"

namespace kite {
namespace ui {

LayoutParameter* LayoutParameter::create() { return createAutoreleased<LayoutParameter>(); }

LayoutParameter* LayoutParameter::clone() {
    LayoutParameter* copy = createCloneInstance();
    if (copy) copy->copyProperties(this);
    return copy;
}

LayoutParameter* LayoutParameter::createCloneInstance() { return create(); }

void LayoutParameter::copyProperties(LayoutParameter* model) {
    if (model) margin = model->margin;
}

LinearLayoutParameter* LinearLayoutParameter::create() { return createAutoreleased<LinearLayoutParameter>(); }

LayoutParameter* LinearLayoutParameter::createCloneInstance() { return create(); }

void LinearLayoutParameter::copyProperties(LayoutParameter* model) {
    LayoutParameter::copyProperties(model);
    if (auto* linear = dynamic_cast<LinearLayoutParameter*>(model)) gravity = linear->gravity;
}

RelativeLayoutParameter* RelativeLayoutParameter::create() { return createAutoreleased<RelativeLayoutParameter>(); }

LayoutParameter* RelativeLayoutParameter::createCloneInstance() { return create(); }

void RelativeLayoutParameter::copyProperties(LayoutParameter* model) {
    LayoutParameter::copyProperties(model);
    if (auto* relative = dynamic_cast<RelativeLayoutParameter*>(model)) {
        align = relative->align;
        relativeToWidgetName = relative->relativeToWidgetName;
        relativeName = relative->relativeName;
    }
}

}  // namespace ui
}  // namespace kite
