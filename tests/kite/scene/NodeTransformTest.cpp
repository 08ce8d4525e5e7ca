// Node placement: matrices against an independent computation, conversions, bounding box and the per-frame refresh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Node.h"

namespace kite {
namespace {

constexpr float kPiF = 3.14159265358979f;

// Plain matrices built by hand, not by the node: T(x, y), Rz(clockwise degrees), S, skew, T(-a).
Mat4 translation(float x, float y) {
    Mat4 m;
    m.m[12] = x;
    m.m[13] = y;
    return m;
}
Mat4 clockwise(float degrees) {
    const float r = -degrees * kPiF / 180.0f;
    Mat4 m;
    m.m[0] = std::cos(r);
    m.m[1] = std::sin(r);
    m.m[4] = -std::sin(r);
    m.m[5] = std::cos(r);
    return m;
}
Mat4 scaling(float x, float y) {
    Mat4 m;
    m.m[0] = x;
    m.m[5] = y;
    return m;
}
Mat4 skewing(float degreesX, float degreesY) {
    Mat4 m;
    m.m[4] = std::tan(degreesX * kPiF / 180.0f);
    m.m[1] = std::tan(degreesY * kPiF / 180.0f);
    return m;
}

Vec2 apply(const Mat4& m, Vec2 p) {
    Vec4 r = m * Vec4(p.x, p.y, 0.0f, 1.0f);
    return Vec2(r.x, r.y);
}

void expectNear(const Mat4& actual, const Mat4& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], 1e-4f) << "element " << i;
}

MATCHER_P2(NearPoint, x, y, "") { return std::fabs(arg.x - x) < 1e-3f && std::fabs(arg.y - y) < 1e-3f; }

class NodeTransformTest : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

TEST_F(NodeTransformTest, AnchorAndScalePlaceTheNodeInItsParent) {
    Node* node = Node::create();
    node->setContentSize(Size(20, 10));
    node->setAnchorPoint(Vec2(0.5f, 0.5f));
    node->setPosition(100, 50);
    node->setScale(2);
    const Mat4& m = node->getNodeToParentTransform();
    EXPECT_THAT(apply(m, Vec2(0, 0)), NearPoint(80, 40));
    EXPECT_THAT(apply(m, Vec2(10, 5)), NearPoint(100, 50));

    // Ignoring the anchor, the position places the unscaled lower-left corner; the scale still
    // works about the anchor.
    node->setIgnoreAnchorForPosition(true);
    EXPECT_THAT(apply(node->getNodeToParentTransform(), Vec2(10, 5)), NearPoint(110, 55));
    node->setScale(1);
    EXPECT_THAT(apply(node->getNodeToParentTransform(), Vec2(0, 0)), NearPoint(100, 50));
}

TEST_F(NodeTransformTest, RotationScaleAndAnchorAgreeWithTheMatrixProduct) {
    Node* node = Node::create();
    node->setContentSize(Size(40, 30));
    node->setAnchorPoint(Vec2(0.25f, 0.75f));
    node->setPosition(12, -7);
    node->setScale(1.5f, 0.5f);
    node->setRotation(30);
    const Vec2 a = node->getAnchorPointInPoints();
    expectNear(node->getNodeToParentTransform(),
               translation(12, -7) * clockwise(30) * scaling(1.5f, 0.5f) * translation(-a.x, -a.y));
}

TEST_F(NodeTransformTest, SkewAndScaleAgreeWithTheMatrixProduct) {
    Node* node = Node::create();
    node->setContentSize(Size(40, 30));
    node->setAnchorPoint(Vec2(0.5f, 0.5f));
    node->setPosition(60, 80);
    node->setScale(2.0f, 3.0f);
    node->setSkewX(20);
    node->setSkewY(-10);
    expectNear(node->getNodeToParentTransform(),
               translation(60, 80) * scaling(2.0f, 3.0f) * skewing(20, -10) * translation(-20, -15));
}

TEST_F(NodeTransformTest, SplitRotationTurnsTheAxesSeparately) {
    Node* node = Node::create();
    node->setRotationSkewX(30);
    // No z rotation goes into the quaternion when the two parts differ.
    const Quaternion q = node->getRotationQuat();
    EXPECT_FLOAT_EQ(q.z, 0.0f);
    EXPECT_FLOAT_EQ(q.w, 1.0f);
    const Mat4& m = node->getNodeToParentTransform();
    EXPECT_THAT(apply(m, Vec2(10, 0)), NearPoint(10, 0));
    EXPECT_THAT(apply(m, Vec2(0, 10)), NearPoint(5, 8.660254f));
    node->setRotationSkewY(30);
    expectNear(node->getNodeToParentTransform(), clockwise(30));
}

TEST_F(NodeTransformTest, PlainRotationEndsASplitOneEvenAtTheSameXAngle) {
    Node* node = Node::create();
    node->setRotationSkewX(30);
    node->setRotation(30);
    EXPECT_FLOAT_EQ(node->getRotationSkewY(), 30.0f);
    expectNear(node->getNodeToParentTransform(), clockwise(30));

    Node* other = Node::create();
    other->setRotationSkewX(30);
    other->setRotation3D(Vec3(0, 0, 30));
    EXPECT_FLOAT_EQ(other->getRotationSkewY(), 30.0f);
    expectNear(other->getNodeToParentTransform(), clockwise(30));
}

TEST_F(NodeTransformTest, QuaternionAndAnglesStayInStep) {
    Node* node = Node::create();
    node->setRotation3D(Vec3(0, 0, 45));
    Node* other = Node::create();
    other->setRotationQuat(node->getRotationQuat());
    EXPECT_NEAR(other->getRotation(), 45.0f, 1e-3f);
    expectNear(other->getNodeToParentTransform(), node->getNodeToParentTransform());
}

TEST_F(NodeTransformTest, WorldAndNodeSpaceConversionsFollowTheAncestors) {
    Node* root = Node::create();
    root->setPosition(100, 200);
    root->setRotation(90);
    Node* child = Node::create();
    child->setPosition(10, 0);
    child->setScale(2, 2);
    root->addChild(child);

    const Mat4 expected = translation(100, 200) * clockwise(90) * translation(10, 0) * scaling(2, 2);
    expectNear(child->getNodeToWorldTransform(), expected);
    EXPECT_THAT(child->convertToWorldSpace(Vec2(5, 0)), NearPoint(100, 200 - 20));
    EXPECT_THAT(child->convertToNodeSpace(Vec2(100, 180)), NearPoint(5, 0));

    const AffineTransform affine = child->getNodeToWorldAffineTransform();
    EXPECT_NEAR(affine.tx, expected.m[12], 1e-3f);
    EXPECT_NEAR(affine.ty, expected.m[13], 1e-3f);
    EXPECT_THAT(PointApplyAffineTransform(Vec2(100, 180), child->getWorldToNodeAffineTransform()), NearPoint(5, 0));
    expectNear(child->getParentToNodeTransform() * child->getNodeToParentTransform(), Mat4::IDENTITY);
}

TEST_F(NodeTransformTest, BoundingBoxEnclosesTheTransformedContent) {
    Node* node = Node::create();
    node->setContentSize(Size(20, 10));
    node->setPosition(5, 5);
    node->setRotation(90);
    const Rect box = node->getBoundingBox();
    EXPECT_NEAR(box.origin.x, 5, 1e-3f);
    EXPECT_NEAR(box.origin.y, -15, 1e-3f);
    EXPECT_NEAR(box.size.width, 10, 1e-3f);
    EXPECT_NEAR(box.size.height, 20, 1e-3f);
}

// Counts how often the visit asks for the node-to-parent matrix.
class CountingNode : public Node {
public:
    const Mat4& getNodeToParentTransform() const override {
        ++asked;
        return Node::getNodeToParentTransform();
    }
    mutable int asked = 0;
};

TEST_F(NodeTransformTest, WorldMatrixIsRefreshedOnlyInFramesWithAChange) {
    Node* root = Node::create();
    auto* child = createAutoreleased<CountingNode>();
    root->addChild(child);
    child->setPosition(3, 4);

    root->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->asked, 1);
    EXPECT_THAT(apply(child->getModelViewTransform(), Vec2(0, 0)), NearPoint(3, 4));

    root->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->asked, 1);

    // A change above the child refreshes its world matrix, though its own is clean.
    root->setPosition(10, 0);
    root->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->asked, 2);
    EXPECT_THAT(apply(child->getModelViewTransform(), Vec2(0, 0)), NearPoint(13, 4));
}

// A 2D node's matrices come from the short path; an identity additional transform sends the same
// node down the full path. Both must give the same values, down to the last bit.
struct Placement {
    Vec2 position;
    float z;
    Vec2 anchor;
    Vec2 scale;
    float rotationX;  // rotation-skew angles; equal angles are a plain rotation
    float rotationY;
    bool ignoreAnchor;
};

void place(Node* node, const Placement& p) {
    node->setContentSize(Size(33, 17));
    node->setPosition(p.position);
    node->setPositionZ(p.z);
    node->setAnchorPoint(p.anchor);
    node->setScale(p.scale.x, p.scale.y);
    node->setRotationSkewX(p.rotationX);
    node->setRotationSkewY(p.rotationY);
    node->setIgnoreAnchorForPosition(p.ignoreAnchor);
}

void expectSame(const Mat4& shortPath, const Mat4& fullPath) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(shortPath.m[i], fullPath.m[i]) << "element " << i;
}

TEST_F(NodeTransformTest, TwoDimensionalNodesGetTheFullPathsValues) {
    const Placement placements[] = {
        {{0, 0}, 0, {0, 0}, {1, 1}, 0, 0, false},
        {{12.5f, -7.25f}, 0, {0.5f, 0.5f}, {1, 1}, 0, 0, false},
        {{100, 50}, 0, {0.25f, 0.75f}, {1.5f, -0.5f}, 30, 30, false},
        {{-3, 9}, 4, {0.5f, 0.5f}, {2, 3}, 217.5f, 217.5f, true},
        {{3.3f, 1.1f}, 0, {1, 0}, {0.7f, 0.9f}, 10, -35, false},
    };
    for (const Placement& p : placements) {
        Node* parent = Node::create();
        Node* shortPath = Node::create();
        Node* fullPath = Node::create();
        parent->addChild(shortPath);
        parent->addChild(fullPath);
        parent->setPosition(40, 20);
        parent->setScale(0.75f);
        parent->setRotation(15);
        place(shortPath, p);
        place(fullPath, p);
        fullPath->setAdditionalTransform(&Mat4::IDENTITY);
        expectSame(shortPath->getNodeToParentTransform(), fullPath->getNodeToParentTransform());
        // The world matrix: a 2D product under a 2D parent, the full product under any other.
        Mat4 perspective;
        Mat4::createPerspective(60, 1.5f, 1, 1000, &perspective);
        for (const Mat4& above : {Mat4::IDENTITY, perspective}) {
            parent->visit(nullptr, above, FLAGS_TRANSFORM_DIRTY);
            expectSame(shortPath->getModelViewTransform(),
                       parent->getModelViewTransform() * shortPath->getNodeToParentTransform());
        }
    }
}

// A skew of minus zero is no skew; a skew that is not a number is applied (by the full path),
// not dropped as zero.
TEST_F(NodeTransformTest, NegativeZeroSkewIsNoSkewAndANaNSkewIsApplied) {
    Node* plain = Node::create();
    Node* negativeZero = Node::create();
    Node* notANumber = Node::create();
    for (Node* node : {plain, negativeZero, notANumber}) place(node, {{5, 6}, 0, {0.5f, 0.5f}, {2, 1}, 20, 20, false});
    negativeZero->setSkewX(-0.0f);
    notANumber->setSkewX(std::numeric_limits<float>::quiet_NaN());
    const Mat4& a = plain->getNodeToParentTransform();
    const Mat4& b = negativeZero->getNodeToParentTransform();
    EXPECT_EQ(std::memcmp(a.m, b.m, sizeof(a.m)), 0);
    const Mat4& c = notANumber->getNodeToParentTransform();
    EXPECT_TRUE(std::any_of(std::begin(c.m), std::end(c.m), [](float v) { return std::isnan(v); }));
}

TEST_F(NodeTransformTest, NormalizedPositionFollowsTheParentsSize) {
    Node* parent = Node::create();
    parent->setContentSize(Size(200, 100));
    Node* child = Node::create();
    parent->addChild(child);
    child->setNormalizedPosition(Vec2(0.5f, 0.5f));
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->getPosition(), Vec2(100, 50));
    parent->setContentSize(Size(400, 300));
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->getPosition(), Vec2(200, 150));

    // A plain position takes over; the same normalised position then takes effect again.
    child->setPosition(7, 8);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->getPosition(), Vec2(7, 8));
    child->setNormalizedPosition(Vec2(0.5f, 0.5f));
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_EQ(child->getPosition(), Vec2(200, 150));
}

TEST_F(NodeTransformTest, InvisibleNodeKeepsItsChangesForLater) {
    Node* parent = Node::create();
    Node* child = Node::create();
    parent->addChild(child);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    parent->setVisible(false);
    child->setPosition(7, 0);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(apply(child->getModelViewTransform(), Vec2(0, 0)), NearPoint(0, 0));
    parent->setVisible(true);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(apply(child->getModelViewTransform(), Vec2(0, 0)), NearPoint(7, 0));
}

}  // namespace
}  // namespace kite
