// The statistics tests run against a bundle of their own. The module reads the bundle's version
// once, when its helper is made, so the bundle is laid before main, ahead of every test.
#include <stdlib.h>

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

struct StatTestBundle {
    StatTestBundle() {
        const std::string info = std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>") +
                                 "<key>CFBundleIdentifier</key><string>" + kTestBundleIdentifier + "</string>" +
                                 "<key>CFBundleShortVersionString</key><string>" + kTestBundleVersion + "</string>" +
                                 "<key>CFBundleVersion</key><string>25</string></dict></plist>";
        folder.put("Info.plist", info);
        setenv("STARGRID_RESOURCES", folder.path().c_str(), 1);
    }
    kite::test::TemporaryFolder folder{"stat-bundle"};
};

const StatTestBundle bundle;

}  // namespace
}  // namespace test
}  // namespace pigeon
