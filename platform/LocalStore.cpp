// The local store: products file, payment queue with a policy, ledger of unfinished transactions.
#include "platform/LocalStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/PlistValue.h"
#include "platform/PlistXml.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace platform {
namespace {

constexpr std::size_t kMaxFileBytes = 1u << 20;
// STARGRID_STORE's values, each naming a policy (Unreachable is none's: it is what an unknown value gets).
constexpr std::pair<const char*, StorePolicy> kPolicies[] = {
    {"approve", StorePolicy::Approve}, {"decline", StorePolicy::Decline},
    {"cancel", StorePolicy::Cancel},   {"defer", StorePolicy::Defer},
    {"fail-then-approve", StorePolicy::FailThenApprove},
};
constexpr const char* kOutOfReach = "cannot connect to the store";

std::optional<std::string> readSmallFile(const std::string& path, std::string* error) {
    std::string bytes;
    if (readStoredFile(path, bytes, kMaxFileBytes, error) != StoredFileRead::Read) {
        if (error->empty()) *error = std::strerror(errno);  // missing
        return std::nullopt;
    }
    if (bytes.size() > kMaxFileBytes) {
        *error = "larger than 1 MiB";
        return std::nullopt;
    }
    return bytes;
}

// Why nothing in the resources folder can be read when the folder itself is the cause (not there, or no
// folder), or "" when it is a folder (or none is named).
std::string missingFolder(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return std::string();
    struct stat st;
    const std::string named = "the resources folder " + printableText(folder);
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? std::string() : named + " is not a folder";
    const int failure = errno;
    if (failure == ENOENT || failure == ENOTDIR) return named + " is not there";
    return named + " cannot be reached: " + std::strerror(failure);
}

std::string textOf(const PlistValue::Dictionary& entry, const char* key) {
    const auto found = entry.find(key);
    const std::string* text = found == entry.end() ? nullptr : found->second.asString();
    return text ? *text : std::string();
}

std::optional<std::int64_t> integerOf(const PlistValue::Dictionary& entry, const char* key) {
    const auto found = entry.find(key);
    if (found == entry.end() || !found->second.asInteger()) return std::nullopt;
    return *found->second.asInteger();
}

// "¥12.00" for 12 in "zh_CN@currency=CNY"; the currency code itself for one we have no sign for.
std::string formatPrice(double price, const std::string& locale) {
    static const std::map<std::string, std::string> signs = {
        {"CNY", "¥"}, {"USD", "$"}, {"EUR", "€"}, {"GBP", "£"}, {"JPY", "¥"}};
    const std::string::size_type at = locale.find("@currency=");
    const std::string code = at == std::string::npos ? "CNY" : locale.substr(at + 10);
    const auto sign = signs.find(code);
    // Two decimals with a point whatever the process locale: the game reads the amount back.
    return (sign != signs.end() ? sign->second : code + " ") + fixedPointText(price, 2);
}

std::optional<StoreProduct> productFrom(const PlistValue& value) {
    const PlistValue::Dictionary* entry = value.asDictionary();
    if (!entry) return std::nullopt;
    StoreProduct product;
    product.identifier = textOf(*entry, "productIdentifier");
    product.title = textOf(*entry, "localizedTitle");
    product.description = textOf(*entry, "localizedDescription");
    product.priceLocale = textOf(*entry, "priceLocale");
    const auto price = entry->find("price");
    const double* amount = price == entry->end() ? nullptr : price->second.asReal();
    if (product.identifier.empty() || !amount || *amount < 0) return std::nullopt;
    product.price = formatPrice(*amount, product.priceLocale);
    return product;
}

std::optional<StoreTransaction> transactionFrom(const PlistValue& value) {
    const PlistValue::Dictionary* entry = value.asDictionary();
    if (!entry) return std::nullopt;
    StoreTransaction transaction;
    transaction.identifier = textOf(*entry, "transactionIdentifier");
    transaction.productIdentifier = textOf(*entry, "productIdentifier");
    transaction.applicationUsername = textOf(*entry, "applicationUsername");
    transaction.errorText = textOf(*entry, "errorText");
    const auto untold = entry->find("untold");
    transaction.untold = untold != entry->end() && untold->second.asBoolean() && *untold->second.asBoolean();
    const auto quantity = integerOf(*entry, "quantity");
    const auto state = integerOf(*entry, "state");
    const auto error = integerOf(*entry, "error");
    if (transaction.identifier.empty() || transaction.productIdentifier.empty() || !quantity || *quantity < 1 ||
        *quantity > 10 || !state || *state < 0 || *state > 4 ||
        (error && (*error < 0 || *error > static_cast<int>(StoreError::NotRecorded)))) {
        return std::nullopt;
    }
    transaction.quantity = static_cast<int>(*quantity);
    transaction.state = static_cast<TransactionState>(*state);
    transaction.error = static_cast<StoreError>(error.value_or(0));
    return transaction;
}

PlistValue valueOf(const StoreTransaction& transaction) {
    PlistValue::Dictionary entry{
        {"transactionIdentifier", transaction.identifier},
        {"productIdentifier", transaction.productIdentifier},
        {"quantity", PlistValue::integer(transaction.quantity)},
        {"applicationUsername", transaction.applicationUsername},
        {"state", PlistValue::integer(static_cast<int>(transaction.state))},
        {"error", PlistValue::integer(static_cast<int>(transaction.error))},
        // The store's own words about a path or the system: what they quote must not stop later saves.
        {"errorText", printableText(transaction.errorText)},
    };
    // Only when set: a ledger without it reads as before, and a reader that knows nothing of it finishes the
    // entry as one an earlier run settled.
    if (transaction.untold) entry.emplace("untold", PlistValue::boolean(true));
    return PlistValue(std::move(entry));
}

bool settled(TransactionState state) {
    return state != TransactionState::Purchasing && state != TransactionState::Deferred;
}

// What the store decided is not on disk, where the payment is still purchasing: the next start decides
// again. Until then it waits, and nothing finishes it.
void holdUntilNextStart(StoreTransaction& transaction, const std::string& reason) {
    transaction.state = TransactionState::Deferred;
    transaction.error = StoreError::NotRecorded;
    transaction.errorText = "the payment's outcome cannot be recorded: " + reason;
}

}  // namespace

std::optional<StorePolicy> storePolicyFromText(const std::string& text) {
    for (const auto& [name, policy] : kPolicies)
        if (text == name) return policy;
    return std::nullopt;
}

LocalStore& LocalStore::shared() {
    static LocalStore store;
    return store;
}

bool LocalStore::configure(Setup setup) {
    if (!setup.poster) return false;
    reset();
    setup_ = std::move(setup);
    const char* chosen = std::getenv("STARGRID_STORE");
    // Empty as unset: how a shell clears it, as STARGRID_NETWORK takes it too.
    if (chosen && *chosen) {
        if (auto policy = storePolicyFromText(chosen)) {
            policy_ = *policy;
        } else {
            // A mistyped "decline" must not approve: no payment goes through until the value is one of these.
            policy_ = StorePolicy::Unreachable;
            std::string known;
            for (const auto& [name, policy] : kPolicies) known += (known.empty() ? "" : ", ") + std::string(name);
            std::fprintf(stderr,
                         "LocalStore: unknown STARGRID_STORE \"%s\" (known: %s); the store is out of reach and "
                         "every payment fails\n",
                         printableText(chosen).c_str(), known.c_str());
        }
    }
    loadProducts();
    loadLedger();
    settleLeftovers();
    return true;
}

void LocalStore::reset() {
    setup_ = Setup();
    policy_ = StorePolicy::Approve;
    failedOnce_ = false;
    products_.clear();
    productsError_.clear();
    transactions_.clear();
    nextSequence_ = 1;
    ledgerKept_.clear();
    unsaved_.clear();
    leftOut_.clear();
    observers_.clear();
}

void LocalStore::loadProducts() {
    std::string error;
    const auto bytes = readSmallFile(setup_.productsFile, &error);
    const auto root = bytes ? decodePlistXml(*bytes, &error) : std::nullopt;
    const PlistValue::Array* entries = root ? root->asArray() : nullptr;
    if (!entries) {
        if (!bytes) {
            if (std::string missing = missingFolder(setup_.resourcesFolder); !missing.empty()) error = missing;
        }
        productsError_ = "cannot read the products file " + printableText(setup_.productsFile) + ": " +
                         (error.empty() ? "its root is not an array" : error);
        std::fprintf(stderr, "LocalStore: %s\n", productsError_.c_str());
        return;
    }
    for (const PlistValue& entry : *entries) {
        if (auto product = productFrom(entry)) {
            products_[product->identifier] = *product;
        } else {
            std::fprintf(stderr, "LocalStore: a product of %s is incomplete; skipped\n",
                         printableText(setup_.productsFile).c_str());
        }
    }
}

void LocalStore::loadLedger() {
    // Left by saves killed before their rename.
    removeLeftoverTemporaries(setup_.ledgerFile);
    std::string bytes, reason;
    switch (readStoredFile(setup_.ledgerFile, bytes, kMaxFileBytes, &reason)) {
        case StoredFileRead::Missing: return;  // no ledger yet: nothing unfinished
        case StoredFileRead::Failed:
            // Its transactions are out of reach, not gone: a save would replace them, so none is made this run.
            ledgerKept_ = "cannot read the ledger " + printableText(setup_.ledgerFile) + ": " + reason;
            std::fprintf(stderr, "LocalStore: %s; it is left as it is and nothing is saved to it\n",
                         ledgerKept_.c_str());
            return;
        case StoredFileRead::Read: break;
    }
    if (bytes.size() > kMaxFileBytes) return setLedgerAside("larger than 1 MiB");
    // Saves leave it the owner's only, but a run that pays nothing makes none.
    if (!narrowMode(setup_.ledgerFile, 0600)) {
        const int failure = errno;
        std::fprintf(stderr, "LocalStore: cannot narrow %s: %s\n", printableText(setup_.ledgerFile).c_str(),
                     std::strerror(failure));
    }
    std::string error;
    const auto root = decodePlistXml(bytes, &error);
    const PlistValue::Dictionary* ledger = root ? root->asDictionary() : nullptr;
    const auto found = ledger ? ledger->find("transactions") : PlistValue::Dictionary::const_iterator();
    const PlistValue::Array* entries = ledger && found != ledger->end() ? found->second.asArray() : nullptr;
    if (!entries) return setLedgerAside(error.empty() ? "no transaction list" : error);
    nextSequence_ = std::max<std::int64_t>(1, integerOf(*ledger, "nextSequence").value_or(1));
    for (const PlistValue& entry : *entries) {
        if (auto transaction = transactionFrom(entry)) {
            transactions_.push_back(*transaction);
        } else {
            std::fprintf(stderr, "LocalStore: a transaction of the ledger is damaged; skipped\n");
        }
    }
}

// Kept aside, never overwritten: it may hold paid transactions someone must look at.
void LocalStore::setLedgerAside(const std::string& reason) {
    const std::string ledger = printableText(setup_.ledgerFile);
    if (const std::optional<std::string> aside = setDamagedFileAside(setup_.ledgerFile)) {
        std::fprintf(stderr, "LocalStore: the ledger %s is damaged (%s); set aside as %s\n", ledger.c_str(),
                     reason.c_str(), printableText(*aside).c_str());
        return;
    }
    const int failure = errno;
    ledgerKept_ = "the ledger " + ledger + " is damaged (" + reason + ") and cannot be set aside (" +
                  std::strerror(failure) + ")";
    std::fprintf(stderr, "LocalStore: %s; it is left as it is and nothing is saved to it\n", ledgerKept_.c_str());
}

LocalStore::LedgerSave LocalStore::saveLedger(std::string* reason) {
    if (!ledgerKept_.empty()) {
        if (reason) *reason = ledgerKept_;
        return LedgerSave::Failed;
    }
    PlistValue::Array entries;
    for (const StoreTransaction& transaction : transactions_) {
        if (leftOut_.count(transaction.identifier) == 0) entries.push_back(valueOf(transaction));
    }
    const PlistValue root(PlistValue::Dictionary{{"nextSequence", PlistValue::integer(nextSequence_)},
                                                 {"transactions", PlistValue(std::move(entries))}});
    // Nothing the reader would set aside is written: a text that is not UTF-8, a ledger past its limit.
    std::string why;
    LedgerSave outcome = LedgerSave::Refused;
    if (withinPlistLimits(root, PlistLimits(), &why)) {
        const std::string text = encodePlistXml(root);
        if (text.size() > kMaxFileBytes) {
            why = "larger than 1 MiB";
        } else if (writeFileAtomically(setup_.ledgerFile, text, 0600)) {
            for (auto unsaved = unsaved_.begin(); unsaved != unsaved_.end();) {
                unsaved = leftOut_.count(unsaved->first) == 0 ? unsaved_.erase(unsaved) : std::next(unsaved);
            }
            return LedgerSave::Saved;
        } else {
            why = std::strerror(errno);
            outcome = LedgerSave::Failed;
        }
    }
    why = "cannot write the ledger " + printableText(setup_.ledgerFile) + ": " + why;
    std::fprintf(stderr, "LocalStore: %s\n", why.c_str());
    if (reason) *reason = why;
    return outcome;
}

void LocalStore::settleLeftovers() {
    // A store out of reach decides nothing: what is pending waits for a start that reaches one.
    if (policy_ == StorePolicy::Unreachable) return;
    std::vector<StoreTransaction*> decided;
    for (StoreTransaction& transaction : transactions_) {
        if (settled(transaction.state)) continue;
        decideOutcome(transaction);
        // Saved with the outcome: the player hears of it at this start or, should it end first, the next.
        transaction.untold = true;
        decided.push_back(&transaction);
    }
    std::string reason;
    if (decided.empty() || saveLedger(&reason) == LedgerSave::Saved) return;
    for (StoreTransaction* transaction : decided) holdUntilNextStart(*transaction, reason);
}

void LocalStore::requestProducts(const std::vector<std::string>& identifiers, ProductsCallback callback) {
    if (!isConfigured() || !callback) return;
    ProductsResponse response;
    for (const std::string& identifier : identifiers) {
        const auto found = products_.find(identifier);
        if (found != products_.end()) {
            response.products.push_back(found->second);
        } else {
            response.invalidIdentifiers.push_back(identifier);
        }
    }
    if (!productsError_.empty()) response = ProductsResponse();
    setup_.poster([callback = std::move(callback), response = std::move(response), error = productsError_] {
        callback(response, error);
    });
}

void LocalStore::addObserver(StoreObserver* observer) {
    if (!observer || std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) return;
    observers_.push_back(observer);
    if (transactions_.empty() || !isConfigured()) return;
    std::vector<StoreTransaction> batch = transactions_;
    setup_.poster([this, observer, batch = std::move(batch)] {
        if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) return;
        std::vector<StoreTransaction> live;
        for (const StoreTransaction& transaction : batch) {
            if (isUnfinished(transaction.identifier)) live.push_back(transaction);
        }
        if (!live.empty()) observer->updatedTransactions(live);
    });
}

void LocalStore::removeObserver(StoreObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

std::string LocalStore::addPayment(const std::string& productIdentifier, int quantity,
                                   const std::string& applicationUsername) {
    if (!isConfigured()) return std::string();
    const auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    StoreTransaction transaction;
    // The clock keeps identifiers apart even when a damaged ledger restarted the count.
    transaction.identifier = std::to_string(now.count()) + "-" + std::to_string(nextSequence_++);
    transaction.productIdentifier = productIdentifier;
    transaction.quantity = std::clamp(quantity, 1, 10);
    transaction.applicationUsername = applicationUsername;
    transactions_.push_back(transaction);
    std::string reason;
    switch (saveLedger(&reason)) {
        case LedgerSave::Saved: break;
        // What the ledger refuses stays out of it: the rest can still be saved.
        case LedgerSave::Refused: leftOut_.insert(transaction.identifier); [[fallthrough]];
        case LedgerSave::Failed: unsaved_[transaction.identifier] = reason; break;
    }
    deliverUpdated({transaction});
    setup_.poster([this, identifier = transaction.identifier] { process(identifier); });
    return transaction.identifier;
}

void LocalStore::process(const std::string& identifier) {
    StoreTransaction* transaction = find(identifier);
    if (!transaction || transaction->state != TransactionState::Purchasing) return;
    // A payment the ledger does not hold is not taken: a kill would lose it once paid. (A save made
    // since its own failed holds it, and took it off the list.)
    const auto unsaved = unsaved_.find(identifier);
    if (unsaved != unsaved_.end()) {
        transaction->state = TransactionState::Failed;
        transaction->error = StoreError::NotRecorded;
        transaction->errorText = "the payment cannot be recorded: " + unsaved->second;
        unsaved_.erase(unsaved);
        deliverUpdated({*transaction});
        return;
    }
    decideOutcome(*transaction);
    // Saved with the outcome, as at start: its buyer hears of it in this run or, should it end first, at the
    // next start.
    transaction->untold = true;
    // The outcome is on disk before anyone hears of it: a purchase the store approved survives the
    // game being killed right after. One whose outcome cannot be saved, declined as much as approved,
    // is on disk as purchasing, which the next start decides again: it is pending until then.
    std::string reason;
    if (saveLedger(&reason) != LedgerSave::Saved) holdUntilNextStart(*transaction, reason);
    deliverUpdated({*transaction});
}

void LocalStore::decideOutcome(StoreTransaction& transaction) {
    auto fail = [&transaction](StoreError error, const char* text) {
        transaction.state = TransactionState::Failed;
        transaction.error = error;
        transaction.errorText = text;
    };
    // What an earlier outcome said (its save failed) goes with it.
    transaction.error = StoreError::Unknown;
    transaction.errorText.clear();
    // A store out of reach cannot say whether the product is sold either.
    if (policy_ != StorePolicy::Unreachable && products_.find(transaction.productIdentifier) == products_.end()) {
        fail(StoreError::PaymentInvalid, "the product is not for sale");
        return;
    }
    switch (policy_) {
        case StorePolicy::Approve: transaction.state = TransactionState::Purchased; break;
        case StorePolicy::Decline: fail(StoreError::PaymentNotAllowed, "the payment was declined"); break;
        case StorePolicy::Cancel: fail(StoreError::PaymentCancelled, "the payment was cancelled"); break;
        case StorePolicy::Defer: transaction.state = TransactionState::Deferred; break;
        case StorePolicy::FailThenApprove:
            if (failedOnce_) {
                transaction.state = TransactionState::Purchased;
            } else {
                failedOnce_ = true;
                fail(StoreError::Unknown, kOutOfReach);
            }
            break;
        case StorePolicy::Unreachable: fail(StoreError::Unknown, kOutOfReach); break;
    }
}

void LocalStore::finishTransaction(const std::string& identifier) {
    StoreTransaction* transaction = find(identifier);
    if (!transaction || transaction->state == TransactionState::Purchasing) return;
    StoreTransaction finished = *transaction;
    transactions_.erase(transactions_.begin() + (transaction - transactions_.data()));
    leftOut_.erase(identifier);
    saveLedger();
    deliverRemoved({finished});
}

bool LocalStore::isUnfinished(const std::string& identifier) const {
    return std::any_of(transactions_.begin(), transactions_.end(),
                       [&identifier](const StoreTransaction& t) { return t.identifier == identifier; });
}

StoreTransaction* LocalStore::find(const std::string& identifier) {
    for (StoreTransaction& transaction : transactions_) {
        if (transaction.identifier == identifier) return &transaction;
    }
    return nullptr;
}

// Observers are looked up when the batch arrives, so one removed meanwhile hears nothing;
// transactions finished meanwhile are left out of an update.
void LocalStore::deliverUpdated(std::vector<StoreTransaction> batch) {
    setup_.poster([this, batch = std::move(batch)] {
        std::vector<StoreTransaction> live;
        for (const StoreTransaction& transaction : batch) {
            if (isUnfinished(transaction.identifier)) live.push_back(transaction);
        }
        if (live.empty()) return;
        const std::vector<StoreObserver*> observers = observers_;
        for (StoreObserver* observer : observers) {
            if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
                observer->updatedTransactions(live);
            }
        }
    });
}

void LocalStore::deliverRemoved(std::vector<StoreTransaction> batch) {
    setup_.poster([this, batch = std::move(batch)] {
        const std::vector<StoreObserver*> observers = observers_;
        for (StoreObserver* observer : observers) {
            if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
                observer->removedTransactions(batch);
            }
        }
    });
}

}  // namespace platform
