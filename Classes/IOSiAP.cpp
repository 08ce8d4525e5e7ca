#include "Classes/IOSiAP.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "Classes/PlatformAlert.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/platform/FileUtilsLinux.h"
#include "kite/scene/Director.h"
#include "platform/LocalStore.h"

namespace {

platform::LocalStore& store() { return platform::LocalStore::shared(); }

}  // namespace

// Answers the products request for one wrapper, if it is still there.
class iAPProductsRequestDelegate {
public:
    explicit iAPProductsRequestDelegate(std::weak_ptr<IOSiAP*> iosiap) : iosiap(std::move(iosiap)) {}

    void didReceiveResponse(const platform::ProductsResponse& response) const {
        IOSiAP* wrapper = alive();
        if (!wrapper) return;
        wrapper->products.clear();
        for (const std::string& invalid : response.invalidIdentifiers)
            kite::log("invalidIdentifier:%s", invalid.c_str());
        for (std::size_t i = 0; i < response.products.size(); ++i) {
            const platform::StoreProduct& found = response.products[i];
            auto product = std::make_unique<IOSProduct>();
            product->productIdentifier = found.identifier;
            product->localizedTitle = found.title;
            product->localizedDescription = found.description;
            product->localizedPrice = found.price;
            product->isValid = true;
            product->index = static_cast<std::int32_t>(i);
            wrapper->products.push_back(std::move(product));
        }
        if (wrapper->delegate) wrapper->delegate->onRequestProductsFinish();
    }

    void didFailWithError(const std::string& error) const {
        IOSiAP* wrapper = alive();
        if (!wrapper) return;
        IOSiAP::showStoreAlert(IOSiAP::kProductsFailedMessage);
        kite::log("%s", error.c_str());
        if (wrapper->delegate)
            wrapper->delegate->onRequestProductsError(static_cast<int>(platform::StoreError::Unknown));
    }

private:
    IOSiAP* alive() const {
        auto self = iosiap.lock();
        return self ? *self : nullptr;
    }

    std::weak_ptr<IOSiAP*> iosiap;
};

class iAPTransactionObserver : public platform::StoreObserver {
public:
    explicit iAPTransactionObserver(IOSiAP* iosiap) : iosiap(iosiap) {}

    void updatedTransactions(const std::vector<platform::StoreTransaction>& transactions) override {
        for (const platform::StoreTransaction& transaction : transactions) {
            IOSiAPPaymentEvent event;
            const char* buyersAlert = nullptr;
            switch (transaction.state) {
                case platform::TransactionState::Purchased: event = IOSIAP_PAYMENT_PURCHASED; break;
                case platform::TransactionState::Failed:
                    kite::log("==ios payment error:%s", transaction.errorText.c_str());
                    // Only the buyer waits for this alert: an earlier run's failure is the delegate's to tell.
                    // Nothing was charged when the machine could not record it, which no connection would mend.
                    if (ownPayment(transaction))
                        buyersAlert = transaction.error == platform::StoreError::NotRecorded
                                          ? IOSiAP::kPaymentNotRecordedMessage
                                          : IOSiAP::kPaymentFailedMessage;
                    event = IOSIAP_PAYMENT_FAILED;
                    break;
                case platform::TransactionState::Restored: event = IOSIAP_PAYMENT_RESTORED; break;
                case platform::TransactionState::Deferred:
                    // Waits for approval, or for the next start when its outcome could not be saved, and
                    // comes again when settled: not finished. The buyer hears of the latter once.
                    if (transaction.error == platform::StoreError::NotRecorded && ownPayment(transaction)) {
                        kite::log("==ios payment pending:%s", transaction.errorText.c_str());
                        IOSiAP::showStoreAlert(IOSiAP::kPaymentPendingMessage);
                    }
                    notify(transaction, IOSIAP_PAYMENT_DEFERRED);
                    continue;
                default: continue;  // still purchasing: only this one waits, the rest of the batch goes on
            }
            // Another observer may have finished it while this batch was on its way.
            if (store().isUnfinished(transaction.identifier)) {
                notify(transaction, event);
                if (!iosiap->delegate || iosiap->delegate->canFinishTransaction(transaction.identifier))
                    store().finishTransaction(transaction.identifier);
            }
            // Once the delegate has kept what it holds back: the alert is what tells the buyer, and what it tells
            // is finished once drawn (a game that ends before leaves it to the next start).
            if (buyersAlert) {
                const std::vector<std::string> told{transaction.identifier};
                IOSiAP::showStoreAlert(buyersAlert, [told] { IOSiAP::finishTold(told); });
            }
        }
        if (iosiap->delegate) iosiap->delegate->onTransactionsHandled();
    }

    void removedTransactions(const std::vector<platform::StoreTransaction>& transactions) override {
        for (const platform::StoreTransaction& transaction : transactions) notify(transaction, IOSIAP_PAYMENT_REMOVED);
    }

private:
    bool ownPayment(const platform::StoreTransaction& transaction) const {
        return !iosiap->paymentTransaction.empty() && transaction.identifier == iosiap->paymentTransaction;
    }

    void notify(const platform::StoreTransaction& transaction, IOSiAPPaymentEvent event) const {
        if (!iosiap->delegate) return;
        IOSTransaction details;
        details.transactionIdentifier = transaction.identifier;
        details.applicationUsername = transaction.applicationUsername;
        details.ownPayment = ownPayment(transaction);
        details.untold = transaction.untold;
        details.outcomeUnsaved = transaction.state == platform::TransactionState::Deferred &&
                                 transaction.error == platform::StoreError::NotRecorded;
        iosiap->delegate->onPaymentEvent(transaction.productIdentifier, event, transaction.quantity, details);
    }

    IOSiAP* iosiap;
};

// A system alert, outside the scene.
void IOSiAP::showStoreAlert(const char* message, std::function<void()> shown) {
    platformAlert::show("提示", message, "确认", std::move(shown));
}

void IOSiAP::finishTold(const std::vector<std::string>& transactionIdentifiers) {
    for (const std::string& identifier : transactionIdentifiers) store().finishTransaction(identifier);
}

bool IOSiAP::connectStore() {
    if (store().isConfigured()) return true;
    kite::FileUtils* files = kite::FileUtils::getInstance();
    if (!files) return false;
    platform::LocalStore::Setup setup;
    setup.productsFile = files->fullPathForFilename(kProductsFile);
    if (const auto* bundle = dynamic_cast<const kite::FileUtilsLinux*>(files)) {
        const std::string& folder = bundle->getBundlePath();
        // Not found: named where the bundle would hold it, so that the store's refusal says which file it missed.
        if (setup.productsFile.empty()) setup.productsFile = folder + kProductsFile;
        if (setup.productsFile.compare(0, folder.size(), folder) == 0) setup.resourcesFolder = folder;
    }
    const std::string writable = files->getWritablePath();
    if (writable.empty()) return false;  // no data folder (said where it was refused): no ledger, no payments
    setup.ledgerFile = writable + kLedgerFile;
    // Looked up at each post: a test may replace the director.
    setup.poster = [](std::function<void()> function) {
        kite::Director::getInstance()->getScheduler()->performFunctionInMainThread(function);
    };
    return store().configure(std::move(setup));
}

IOSiAP::IOSiAP(IOSiAPDelegate* delegate)
    : delegate(delegate),
      observer(std::make_unique<iAPTransactionObserver>(this)),
      self(std::make_shared<IOSiAP*>(this)) {
    connectStore();
    store().addObserver(observer.get());
}

IOSiAP::~IOSiAP() {
    *self = nullptr;
    products.clear();
    store().removeObserver(observer.get());
}

void IOSiAP::requestProducts(const std::vector<std::string>& productIdentifiers) {
    iAPProductsRequestDelegate request(self);
    store().requestProducts(productIdentifiers,
                            [request](const platform::ProductsResponse& response, const std::string& error) {
                                if (error.empty()) {
                                    request.didReceiveResponse(response);
                                } else {
                                    request.didFailWithError(error);
                                }
                            });
}

IOSProduct* IOSiAP::iOSProductByIdentifier(const std::string& identifier) const {
    for (const auto& product : products) {
        if (product->productIdentifier == identifier) return product.get();
    }
    return nullptr;
}

void IOSiAP::paymentWithProduct(const IOSProduct* product, int quantity, const std::string& applicationUsername) {
    if (!product || product->index < 0 || static_cast<std::size_t>(product->index) >= products.size()) return;
    const IOSProduct* listed = products[static_cast<std::size_t>(product->index)].get();
    paymentTransaction = store().addPayment(listed->productIdentifier, quantity, applicationUsername);
}
