// The store wrapper: product requests, payments and the transaction observer, turned into
// calls on an abstract delegate.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IOSiAP;

class IOSProduct {
public:
    std::string productIdentifier;
    std::string localizedTitle;
    std::string localizedDescription;
    std::string localizedPrice;
    bool isValid = false;
    std::int32_t index = 0;  // position in the store's answer
};

enum IOSiAPPaymentEvent {
    IOSIAP_PAYMENT_PURCHASED = 1,
    IOSIAP_PAYMENT_FAILED = 2,
    IOSIAP_PAYMENT_RESTORED = 3,
    IOSIAP_PAYMENT_REMOVED = 4,
    // Waiting for someone's approval; the transaction stays unfinished and comes again settled.
    IOSIAP_PAYMENT_DEFERRED = 5,
};

// What the delegate needs of a transaction beyond its product, to credit it once and to
// tell its own payment from one an earlier run left unfinished.
struct IOSTransaction {
    std::string transactionIdentifier;
    std::string applicationUsername;  // what the payment was tagged with
    bool ownPayment = false;          // the payment this wrapper made
    // A payment the store decided, in play or at a start: its payer has not been told how it ended. It stays
    // unfinished until told (IOSiAP::finishTold), in this run or at the next start.
    bool untold = false;
    // Deferred only because its outcome could not be saved: the next start decides it again.
    bool outcomeUnsaved = false;
};

class IOSiAPDelegate {
public:
    virtual ~IOSiAPDelegate() = default;
    virtual void onRequestProductsFinish() = 0;
    virtual void onRequestProductsError(int code) = 0;
    virtual void onPaymentEvent(const std::string& identifier, IOSiAPPaymentEvent event, int quantity,
                                const IOSTransaction& transaction) = 0;
    // After each batch of transaction updates has been handled.
    virtual void onTransactionsHandled() {}
    // Asked after a settled transaction's event: false leaves it unfinished, so the store hands it
    // over again (to the next purchase, or at the next start) until what it paid for is kept.
    virtual bool canFinishTransaction(const std::string& /*transactionIdentifier*/) { return true; }
};

class iAPTransactionObserver;

class IOSiAP {
public:
    // Joins the default payment queue as an observer: transactions left unfinished arrive
    // at once, in one batch, on the main loop.
    explicit IOSiAP(IOSiAPDelegate* delegate);
    ~IOSiAP();
    IOSiAP(const IOSiAP&) = delete;
    IOSiAP& operator=(const IOSiAP&) = delete;

    void requestProducts(const std::vector<std::string>& productIdentifiers);
    IOSProduct* iOSProductByIdentifier(const std::string& identifier) const;
    // Tags the payment with the application's text (kept with the transaction across runs).
    void paymentWithProduct(const IOSProduct* product, int quantity, const std::string& applicationUsername = "");

    // Points the default store at the game's products file, its ledger and the main loop,
    // once per process; false when it cannot be set up.
    static bool connectStore();
    // The products file in the bundle and the ledger in the writable folder.
    static constexpr const char* kProductsFile = "Store/Products.plist";
    static constexpr const char* kLedgerFile = "StoreLedger.plist";
    // The store's alerts ("提示", with the button "确认"): the products could not be had, the
    // payment failed (or was cancelled), the payment could not be recorded on this machine (nothing
    // charged), the payment went through but its diamonds could not be saved (they come again at
    // the next start), and the payment's outcome could not be saved (the next start tells it).
    // At a start, what became of a payment an earlier run left so: credited, or nothing charged.
    // Each but the diamonds' fits one line of the alert.
    static constexpr const char* kProductsFailedMessage = "支付错误，请重试!";
    static constexpr const char* kPaymentFailedMessage = "无法连接到 iTunes Store!";
    static constexpr const char* kPaymentNotRecordedMessage = "本机无法记录购买，未扣款!";
    static constexpr const char* kPurchasePendingMessage = "付款成功，但钻石暂时无法保存，下次启动游戏时补发!";
    static constexpr const char* kPaymentPendingMessage = "付款结果未保存，重启后告知!";
    static constexpr const char* kEarlierPaymentCreditedMessage = "上次付款成功，钻石已到账!";
    static constexpr const char* kEarlierPaymentNotChargedMessage = "上次付款未成功，未扣款!";
    // `shown` runs once the player can see it (after the frame that drew it).
    static void showStoreAlert(const char* message, std::function<void()> shown = nullptr);
    // Finishes transactions whose payer has now been told how they ended.
    static void finishTold(const std::vector<std::string>& transactionIdentifiers);

    IOSiAPDelegate* delegate = nullptr;

private:
    friend class iAPProductsRequestDelegate;
    friend class iAPTransactionObserver;

    std::unique_ptr<iAPTransactionObserver> observer;
    std::vector<std::unique_ptr<IOSProduct>> products;
    std::string paymentTransaction;  // the identifier of this wrapper's payment
    // Shared with pending product answers, which check it before touching the wrapper.
    std::shared_ptr<IOSiAP*> self;
};
