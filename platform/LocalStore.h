// The in-app store on this machine: products from a file, a payment queue whose outcome a
// policy decides, and a ledger that keeps unfinished transactions across runs.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

struct StoreProduct {
    std::string identifier;
    std::string title;
    std::string description;
    std::string price;        // formatted as currency in the product's own locale, "¥12.00"
    std::string priceLocale;  // "zh_CN@currency=CNY"
};

struct ProductsResponse {
    std::vector<StoreProduct> products;  // in the order asked for
    std::vector<std::string> invalidIdentifiers;
};

// Values kept in the ledger file; never renumber.
enum class TransactionState { Purchasing = 0, Purchased = 1, Failed = 2, Restored = 3, Deferred = 4 };

// Values kept in the ledger file too; never renumber.
enum class StoreError {
    Unknown = 0,
    ClientInvalid = 1,
    PaymentCancelled = 2,
    PaymentInvalid = 3,
    PaymentNotAllowed = 4,
    // The ledger cannot keep it: failed, nothing charged; or deferred, whatever the store decided, as its
    // outcome could not be saved, so the next start settles it.
    NotRecorded = 5
};

struct StoreTransaction {
    std::string identifier;  // unique across runs
    std::string productIdentifier;
    int quantity = 1;
    std::string applicationUsername;  // opaque text the app attached to its payment
    TransactionState state = TransactionState::Purchasing;
    StoreError error = StoreError::Unknown;  // meaningful when failed, or deferred as not recorded
    std::string errorText;
    // A payment the store decided, in play or (one an earlier run left purchasing or deferred) at a start: its
    // payer has not been told how it ended. Kept in the ledger, so a run that ends before telling leaves it for
    // the next start; it goes when the transaction is finished, which its teller does once told.
    bool untold = false;
};

class StoreObserver {
public:
    virtual ~StoreObserver() = default;
    virtual void updatedTransactions(const std::vector<StoreTransaction>& transactions) = 0;
    virtual void removedTransactions(const std::vector<StoreTransaction>& transactions) = 0;
};

// How the store answers payments (STARGRID_STORE). Unreachable, for a value that names none of the others:
// every payment fails as one that cannot reach the store, and nothing an earlier run left is decided.
enum class StorePolicy { Approve, Decline, Cancel, Defer, FailThenApprove, Unreachable };
// Nothing for a text that names no policy, Unreachable included.
std::optional<StorePolicy> storePolicyFromText(const std::string& text);

class LocalStore {
public:
    // Hands a function to the main loop; everything the store reports arrives through it.
    using Poster = std::function<void(std::function<void()>)>;
    struct Setup {
        std::string productsFile;  // a property list: an array of product dictionaries
        std::string ledgerFile;    // unfinished transactions; made when missing
        Poster poster;
        // The folder of the game's resources the products file is in, if any: named in the products' refusal
        // when it is missing itself (last, and empty by default, so a setup that lists the three above stands).
        std::string resourcesFolder{};
    };

    // The default store of the process.
    static LocalStore& shared();

    // Reads the products and the ledger; transactions a previous run left purchasing or
    // deferred are settled by the policy now in force (untold, and saved so); when that cannot be
    // saved they wait, deferred and NotRecorded, for a later start. The policy comes from
    // STARGRID_STORE: approve when unset or empty; unreachable, said on standard error with the
    // known values, when it names none. False without a poster.
    // A damaged ledger (or one past 1 MiB) is set aside as "<ledger>.damaged" (".damaged.1"...
    // when that exists, mode 0600) and the store starts empty; one that cannot be read is left as
    // it is and not saved over this run.
    bool configure(Setup setup);
    bool isConfigured() const { return static_cast<bool>(setup_.poster); }
    void setPolicy(StorePolicy policy) { policy_ = policy; }
    StorePolicy policy() const { return policy_; }

    // Answered through the poster: the products the file lists, the other identifiers as
    // invalid. A missing or damaged products file answers with an error text instead.
    using ProductsCallback = std::function<void(const ProductsResponse& response, const std::string& error)>;
    void requestProducts(const std::vector<std::string>& identifiers, ProductsCallback callback);

    // A newly added observer is sent every unfinished transaction, in one batch.
    void addObserver(StoreObserver* observer);
    void removeObserver(StoreObserver* observer);

    // Queues a payment: it is purchasing at once (and in the ledger), then the policy
    // decides its outcome (untold, and saved so). A payment the ledger cannot keep (one that could not be read, a
    // damaged one that could not be set aside, a save that fails, or a text the ledger's reader
    // would refuse: not UTF-8, past 1 MiB) fails instead, NotRecorded, with the reason in its
    // errorText. One whose outcome cannot be saved, whatever the store decided, is deferred,
    // NotRecorded: the ledger holds it purchasing, so the next start settles it (by the policy then
    // in force). Returns the new transaction's identifier.
    std::string addPayment(const std::string& productIdentifier, int quantity, const std::string& applicationUsername);
    // Ends a transaction that is not purchasing: it leaves the ledger and observers are
    // told it was removed. Unknown identifiers are ignored.
    void finishTransaction(const std::string& identifier);

    std::vector<StoreTransaction> unfinishedTransactions() const { return transactions_; }
    bool isUnfinished(const std::string& identifier) const;

    // Forgets everything (tests).
    void reset();

private:
    void loadProducts();
    void loadLedger();
    void setLedgerAside(const std::string& reason);
    // Refused: the ledger would not read back (a text that is not UTF-8, past 1 MiB). Failed: it
    // cannot be written, or must not be (it is kept as found). The reason, naming the ledger, when given.
    enum class LedgerSave { Saved, Refused, Failed };
    LedgerSave saveLedger(std::string* reason = nullptr);
    void settleLeftovers();
    void process(const std::string& identifier);
    void decideOutcome(StoreTransaction& transaction);
    void deliverUpdated(std::vector<StoreTransaction> batch);
    void deliverRemoved(std::vector<StoreTransaction> batch);
    StoreTransaction* find(const std::string& identifier);

    Setup setup_;
    StorePolicy policy_ = StorePolicy::Approve;
    bool failedOnce_ = false;  // fail-then-approve: the first payment has failed
    std::map<std::string, StoreProduct> products_;
    std::string productsError_;
    std::vector<StoreTransaction> transactions_;  // unfinished, oldest first
    std::int64_t nextSequence_ = 1;
    // Why the ledger is there but could not be taken, nor set aside: never saved over. Empty when it can be.
    std::string ledgerKept_;
    std::map<std::string, std::string> unsaved_;  // payments not in the ledger on disk, and why
    std::set<std::string> leftOut_;               // transactions the ledger refuses to hold
    std::vector<StoreObserver*> observers_;
};

}  // namespace platform
