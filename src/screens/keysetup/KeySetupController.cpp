#include "screens/keysetup/KeySetupController.h"

#include "cloud/FalCredentialError.h"
#include "cloud/FalKeyStore.h"
#include "model/Cancellation.h"

#include <QVariantMap>

namespace vl::screens {

namespace {

// Far more than any key with stray white space around it; a larger copy is no key and
// is never fetched.
constexpr std::size_t kMaxKeyCopyBytes = 4096;

QString domain()
{
    return QString::fromUtf8(kFalWebDomain.data(), static_cast<qsizetype>(kFalWebDomain.size()));
}

} // namespace

KeySetupController::KeySetupController(ProjectStore* store, KeySetupContext context, QObject* parent)
    : QObject(parent), store_(store), context_(std::move(context)), statusMessage_(initialStatus())
{
    Q_ASSERT(context_.secrets && context_.http && context_.clipboard);
    watch_.setTimerType(Qt::PreciseTimer);
    watch_.setInterval(context_.watchInterval);
    connect(&watch_, &QTimer::timeout, this, &KeySetupController::tick);
    if (store_)
        connect(store_, &ProjectStore::hasFalAPIKeyChanged, this, &KeySetupController::hasKeyChanged);
}

KeySetupController::~KeySetupController()
{
    watch_.stop();
    if (verifier_.joinable()) {
        verifier_.request_stop();
        verifier_.join();
    }
}

QString KeySetupController::initialStatus()
{
    return QStringLiteral("Sign in or create an account, then create and copy an API key.");
}

QString KeySetupController::verifyingStatus()
{
    return QStringLiteral("Verifying the copied key with %1...").arg(domain());
}

bool KeySetupController::isKeysPage(const QUrl& url)
{
    return url.isValid() && !url.isEmpty()
           && url.path(QUrl::FullyDecoded).contains(QLatin1String("dashboard/keys"));
}

void KeySetupController::setManualKey(const QString& text)
{
    if (text == manualKey_)
        return;
    manualKey_ = text;
    emit manualKeyChanged();
}

void KeySetupController::setCurrentURL(const QUrl& url)
{
    if (url == currentURL_)
        return;
    currentURL_ = url;
    emit currentURLChanged();
}

bool KeySetupController::hasKey() const
{
    return store_ && store_->hasFalAPIKey();
}

QString KeySetupController::title() const
{
    return QStringLiteral("CONNECT %1").arg(domain().toUpper());
}

QString KeySetupController::subtitle() const
{
    return QStringLiteral("Your key stays in this computer's system keyring and is sent only to %1.").arg(domain());
}

QString KeySetupController::manualPlaceholder() const
{
    return QStringLiteral("Paste the full %1 key").arg(domain());
}

QVariantList KeySetupController::steps() const
{
    const auto step = [](int number, const QString& title, const QString& text) {
        return QVariantMap{{QStringLiteral("number"), number}, {QStringLiteral("title"), title},
                           {QStringLiteral("text"), text}};
    };
    return {
        step(1, QStringLiteral("Sign in or register"),
             QStringLiteral("Use the %1 page beside these steps. Fal handles your account and password directly.")
                 .arg(domain())),
        step(2, QStringLiteral("Create a key"),
             QStringLiteral("Choose Create Key, name it Verseloom, and select API scope. Admin access is not needed.")),
        step(3, QStringLiteral("Copy the full key"),
             QStringLiteral("When you click %1's copy button, Verseloom detects the copied key, verifies it, and "
                            "stores it in the system keyring.")
                 .arg(domain())),
    };
}

void KeySetupController::setValidating(bool value)
{
    if (value == isValidating_)
        return;
    isValidating_ = value;
    emit isValidatingChanged();
    emit manualKeyChanged(); // canVerifyManualKey follows
}

void KeySetupController::setMessages(QString status, std::optional<QString> error)
{
    if (status == statusMessage_ && error == errorMessage_)
        return;
    statusMessage_ = std::move(status);
    errorMessage_ = std::move(error);
    emit messageChanged();
}

void KeySetupController::open()
{
    // A key already on the clipboard when the sheet opens is not taken up.
    seenChangeCount_ = context_.clipboard->changeCount();
    setCurrentURL(QUrl());
    setManualKey(QString());
    // A verification from the last opening keeps its status until it ends.
    if (!isValidating_)
        setMessages(initialStatus(), std::nullopt);
    if (!isOpen_) {
        isOpen_ = true;
        emit isOpenChanged();
    }
    if (context_.watchInterval.count() > 0)
        watch_.start();
}

void KeySetupController::close()
{
    watch_.stop();
    setManualKey(QString());
    setCurrentURL(QUrl());
    if (isOpen_) {
        isOpen_ = false;
        emit isOpenChanged();
    }
}

void KeySetupController::tick()
{
    // While a key is checked the clipboard is left alone, so a copy made meanwhile
    // is looked at right after.
    if (isValidating_)
        return;
    if (context_.clipboard->changeCount() == seenChangeCount_)
        return;
    seenChangeCount_ = context_.clipboard->changeCount();
    const ClipboardText copied = context_.clipboard->readText(kMaxKeyCopyBytes);
    if (copied.kind != ClipboardText::Kind::text || !FalKeyStore::normalizedKey(copied.text))
        return;
    verifyAndSave(QString::fromStdString(copied.text));
}

void KeySetupController::verifyAndSave(const QString& candidate)
{
    if (isValidating_)
        return;
    setValidating(true);
    setMessages(verifyingStatus(), std::nullopt);

    if (verifier_.joinable())
        verifier_.join(); // the last one has already delivered its outcome
    verifier_ = std::jthread([this, key = candidate.toStdString()](std::stop_token stop) {
        Outcome outcome;
        try {
            FalKeyStore::verifyKey(key, *context_.http, stop, context_.endpoints);
            const FalKeyStore keys(*context_.secrets);
            keys.saveKey(key);
            outcome.keyStored = keys.loadKey().has_value();
        } catch (const Cancelled&) {
            return; // only at teardown: nothing is left to tell
        } catch (const FalCredentialError& e) {
            outcome.error = e.what();
        } catch (const HttpError&) {
            // No answer from the vendor: the same sentence as any unreachable check.
            outcome.error = FalCredentialError::validationUnavailable().what();
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, key, outcome] { finish(key, outcome); }, Qt::QueuedConnection);
    });
}

void KeySetupController::finish(const std::string& candidate, const Outcome& outcome)
{
    if (outcome.error) {
        setMessages(statusMessage_, QString::fromStdString(*outcome.error));
        setValidating(false);
        return;
    }
    if (store_)
        store_->setHasFalAPIKey(outcome.keyStored);

    // The key is taken off the clipboard however it was copied (with a stray space or
    // line break too); anything else the user copied stays.
    bool removed = false;
    const auto saved = FalKeyStore::normalizedKey(candidate);
    const ClipboardText onClipboard = context_.clipboard->readText(kMaxKeyCopyBytes);
    if (saved && onClipboard.kind == ClipboardText::Kind::text && FalKeyStore::normalizedKey(onClipboard.text) == saved) {
        context_.clipboard->clear();
        removed = true;
    }
    setManualKey(QString());
    setMessages(removed ? QStringLiteral("Connected. The key was saved in the system keyring and removed from "
                                         "the clipboard.")
                        : QStringLiteral("Connected. The key was saved in the system keyring."),
                std::nullopt);
    setValidating(false);
    emit keySaved();
}

void KeySetupController::openInBrowser()
{
    if (context_.desktop)
        context_.desktop->openUrl(context_.keysURL); // a browser that does not open is not an error
}

void KeySetupController::joinVerification()
{
    if (verifier_.joinable())
        verifier_.join();
}

} // namespace vl::screens
