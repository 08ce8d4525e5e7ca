// Switches LC_NUMERIC to a locale whose decimal separator is a comma, for the scope.
#pragma once
#include "support/ScopedLocale.h"

namespace kite {
namespace testing {

using DecimalCommaLocale = kite::test::DecimalComma;

}  // namespace testing
}  // namespace kite
