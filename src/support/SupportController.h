#pragma once

#include "cloud/HttpClient.h"
#include "model/Settings.h"
#include "support/Desktop.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace vl::support {

// Where the contribution flow reaches outside the process. The program passes its own
// defaults, the shared suite the installer writes, the shared HTTP client, the desktop
// and the maker's server; tests pass a loopback server and short polls.
struct SupportContext {
    static constexpr const char* kProductionBaseURL = "https://quillmarsh.pro";

    Settings* defaults = nullptr;    // required
    Settings* shared = nullptr;      // none: read the defaults instead
    HttpClient* http = nullptr;      // required
    Desktop* desktop = nullptr;      // required: opens the payment page
    std::string baseURL = kProductionBaseURL;
    std::chrono::milliseconds pollInterval{2000};
    int maxPollRounds = 300;
    // Tests: a payment page over plain http on a loopback host is accepted too.
    bool isTest = false;
};

// The optional pay-what-you-like flow: counts launches and offers the sheet now and
// then, starts a checkout on the maker's server, opens the payment page in the browser
// and asks the server every few seconds whether it was paid. Nothing in the program
// depends on a payment. Requests run on threads of its own; their results are applied
// here on the main thread, and only while they still belong to the current checkout.
class SupportController final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the contribution controller.")
    Q_PROPERTY(bool isPresented READ isPresented WRITE setPresented NOTIFY isPresentedChanged)
    Q_PROPERTY(bool isStartingCheckout READ isStartingCheckout NOTIFY stateChanged)
    Q_PROPERTY(bool isAwaitingPayment READ isAwaitingPayment NOTIFY stateChanged)
    Q_PROPERTY(bool paymentCompleted READ paymentCompleted NOTIFY stateChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText WRITE setErrorMessageText NOTIFY stateChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY stateChanged)
    Q_PROPERTY(bool canStartCheckout READ canStartCheckout NOTIFY stateChanged)

public:
    static constexpr const char* kPaymentCompletedKey = "supportPaymentCompleted";
    static constexpr const char* kLaunchCountKey = "supportLaunchCount";
    static constexpr const char* kOnboardingVersionKey = "sharewareOnboardingVersion";
    static constexpr const char* kSubscriberEmailKey = "subscriberEmail";

    // With `countLaunch` this construction counts as a launch and may ask for the sheet.
    SupportController(SupportContext context, bool countLaunch, QObject* parent = nullptr);
    // Stops the checkout and the poller and waits for both.
    ~SupportController() override;

    static std::string unavailableMessage();

    bool isPresented() const { return isPresented_; }
    void setPresented(bool value);
    bool isStartingCheckout() const { return isStartingCheckout_; }
    bool isAwaitingPayment() const { return isAwaitingPayment_; }
    bool paymentCompleted() const { return paymentCompleted_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    QString errorMessageText() const { return QString::fromStdString(errorMessage_.value_or("")); }
    // Only clearing is meaningful from QML (an empty text).
    void setErrorMessageText(const QString& text);
    bool hasError() const { return errorMessage_.has_value(); }
    bool canStartCheckout() const { return !isStartingCheckout_ && !isAwaitingPayment_; }

    // Starts a checkout tagged with where the user started it. Does nothing while one
    // is starting or once a payment was recorded.
    Q_INVOKABLE void startCheckout(const QString& source);
    // The Support menu's command: an old error goes, then the sheet shows.
    Q_INVOKABLE void presentFromMenu();

signals:
    void isPresentedChanged();
    void stateChanged();

private:
    struct Checkout {
        std::string sessionId;
        std::string url;
    };
    Checkout requestCheckout(const std::string& source, std::stop_token stop) const;
    bool requestPaid(const std::string& sessionId, std::stop_token stop) const;
    bool isUsablePaymentPage(const std::string& address) const;
    void checkoutFinished(std::optional<Checkout> checkout, std::optional<std::string> error);
    void startPolling(const std::string& sessionId);
    void pollingEnded(long long generation, bool paid);
    void markPaid();
    void setError(std::optional<std::string> message);

    SupportContext context_;
    bool isPresented_ = false;
    bool isStartingCheckout_ = false;
    bool isAwaitingPayment_ = false;
    bool paymentCompleted_ = false;
    std::optional<std::string> errorMessage_;
    long long pollGeneration_ = 0;
    // Last members: stopped and joined before anything they report to goes away.
    std::jthread checkout_;
    std::jthread poller_;
};

} // namespace vl::support
