// Shared by the action tests: a node and an action manager of their own for each test.
#pragma once
#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Node.h"

namespace kite {
namespace test {

// The manager is stepped by the test itself, not by the director's scheduler.
class ActionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        manager = new ActionManager();
        node = Node::create();
        node->retain();
    }
    void TearDown() override {
        manager->release();
        node->release();
        PoolManager::getInstance()->getCurrentPool()->clear();
    }

    ActionManager* manager = nullptr;
    Node* node = nullptr;
};

}  // namespace test
}  // namespace kite
