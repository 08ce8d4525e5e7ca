// The local store's ledger of unfinished transactions as a damaged disk or another program may
// leave it, read and settled at start as the game does.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "FuzzSupport.h"
#include "platform/LocalStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string ledger = fuzz::PrivateUserFolders::once().freshFolder("store") + "/StoreLedger.plist";
    if (!fuzz::writeFile(ledger, data, size)) return 0;
    std::deque<std::function<void()>> posted;
    platform::LocalStore& store = platform::LocalStore::shared();
    store.configure({STARGRID_SOURCE_DIR "/Resources/Store/Products.plist", ledger,
                     [&posted](std::function<void()> work) { posted.push_back(std::move(work)); }});
    // What the store reports reaches the main loop; a bounded number of turns of it.
    for (int turn = 0; turn < 64 && !posted.empty(); ++turn) {
        std::function<void()> work = std::move(posted.front());
        posted.pop_front();
        work();
    }
    for (const platform::StoreTransaction& transaction : store.unfinishedTransactions())
        store.finishTransaction(transaction.identifier);
    store.reset();
    return 0;
}
