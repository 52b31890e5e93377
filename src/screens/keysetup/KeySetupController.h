#pragma once

#include "cloud/FalEndpoints.h"
#include "cloud/HttpClient.h"
#include "cloud/SecretStore.h"
#include "pipeline/Clipboard.h"
#include "pipeline/ProjectStore.h"
#include "support/Desktop.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace vl::screens {

// What the key sheet reaches outside the process. The program passes the system
// keyring, the shared HTTP client, the vendor, the desktop's clipboard and browser;
// tests pass fakes and a watch interval of zero (they tick by hand).
struct KeySetupContext {
    SecretStore* secrets = nullptr;
    HttpClient* http = nullptr;
    FalEndpoints endpoints = FalEndpoints::production();
    Clipboard* clipboard = nullptr;
    support::Desktop* desktop = nullptr;
    QUrl keysURL = QUrl(QStringLiteral("https://fal.ai/dashboard/keys"));
    std::chrono::milliseconds watchInterval{400};
};

// The fal key sheet's state and decisions: it watches the clipboard while the sheet
// is up, verifies a copied or typed key with the vendor and stores it in the keyring,
// then tells the store a key is there. One controller lives for the whole run; each
// opening of the sheet starts it afresh. Verification and saving run on a thread of
// its own; a verification outlives the sheet and ends here, never in the QML.
class KeySetupController final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the key setup controller.")
    Q_PROPERTY(bool isValidating READ isValidating NOTIFY isValidatingChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY messageChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY messageChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY messageChanged)
    Q_PROPERTY(QString footerText READ footerText NOTIFY messageChanged)
    Q_PROPERTY(QString manualKey READ manualKey WRITE setManualKey NOTIFY manualKeyChanged)
    Q_PROPERTY(bool canVerifyManualKey READ canVerifyManualKey NOTIFY manualKeyChanged)
    Q_PROPERTY(QUrl keysURL READ keysURL CONSTANT)
    Q_PROPERTY(QUrl currentURL READ currentURL WRITE setCurrentURL NOTIFY currentURLChanged)
    Q_PROPERTY(bool isKeysPage READ isOnKeysPage NOTIFY currentURLChanged)
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY hasKeyChanged)
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY isOpenChanged)
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString subtitle READ subtitle CONSTANT)
    Q_PROPERTY(QString manualPlaceholder READ manualPlaceholder CONSTANT)
    // Each step: { number, title, text }.
    Q_PROPERTY(QVariantList steps READ steps CONSTANT)

public:
    KeySetupController(ProjectStore* store, KeySetupContext context, QObject* parent = nullptr);
    // Stops a verification under way and waits for it.
    ~KeySetupController() override;

    static QString initialStatus();
    static QString verifyingStatus();
    // True when the address's decoded path shows the vendor's keys page.
    static bool isKeysPage(const QUrl& url);

    bool isValidating() const { return isValidating_; }
    QString statusMessage() const { return statusMessage_; }
    QString errorMessage() const { return errorMessage_.value_or(QString()); }
    bool hasError() const { return errorMessage_.has_value(); }
    QString footerText() const { return errorMessage_.value_or(statusMessage_); }
    QString manualKey() const { return manualKey_; }
    void setManualKey(const QString& text);
    // Emptiness is judged on the text as typed: spaces alone still try (and fail).
    bool canVerifyManualKey() const { return !manualKey_.isEmpty() && !isValidating_; }
    QUrl keysURL() const { return context_.keysURL; }
    QUrl currentURL() const { return currentURL_; }
    void setCurrentURL(const QUrl& url);
    bool isOnKeysPage() const { return isKeysPage(currentURL_); }
    bool hasKey() const;
    bool isOpen() const { return isOpen_; }
    QString title() const;
    QString subtitle() const;
    QString manualPlaceholder() const;
    QVariantList steps() const;

    // The sheet came up: a fresh status, and only copies made from now on count.
    Q_INVOKABLE void open();
    // The sheet went away: the watch stops and the typed key is forgotten. A
    // verification under way goes on to its end.
    Q_INVOKABLE void close();
    // One look at the clipboard (the watch calls it every 0.4 s while open).
    Q_INVOKABLE void tick();
    // Verifies the text with the vendor, saves it and updates the store's flag.
    // Does nothing while a verification runs.
    Q_INVOKABLE void verifyAndSave(const QString& candidate);
    Q_INVOKABLE void verifyManualKey() { verifyAndSave(manualKey_); }
    Q_INVOKABLE void openInBrowser();

    // Tests: blocks until a verification under way has finished on its thread (its
    // result still arrives through the event loop).
    void joinVerification();

signals:
    void isValidatingChanged();
    void messageChanged();
    void manualKeyChanged();
    void currentURLChanged();
    void hasKeyChanged();
    void isOpenChanged();
    // A key was verified and stored.
    void keySaved();

private:
    struct Outcome {
        std::optional<std::string> error; // none: verified and saved
        bool keyStored = false;
    };
    void finish(const std::string& candidate, const Outcome& outcome);
    void setValidating(bool value);
    void setMessages(QString status, std::optional<QString> error);

    QPointer<ProjectStore> store_;
    KeySetupContext context_;
    QTimer watch_;
    bool isOpen_ = false;
    bool isValidating_ = false;
    long long seenChangeCount_ = 0;
    QString statusMessage_;
    std::optional<QString> errorMessage_;
    QString manualKey_;
    QUrl currentURL_;
    std::jthread verifier_; // last member: stopped and joined before the rest goes
};

} // namespace vl::screens
