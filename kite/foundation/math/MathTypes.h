// All math, geometry and colour types in one include.
#pragma once
#include "kite/foundation/math/AffineTransform.h"
#include "kite/foundation/math/Color.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/MathBase.h"
#include "kite/foundation/math/MathUtil.h"
#include "kite/foundation/math/Quaternion.h"
#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"
#include "kite/foundation/math/Vec3.h"
#include "kite/foundation/math/Vec4.h"
