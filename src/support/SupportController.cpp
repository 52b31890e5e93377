#include "support/SupportController.h"

#include "cloud/Url.h"
#include "model/Cancellation.h"
#include "model/Json.h"

#include <QUrl>

#include <condition_variable>
#include <mutex>

namespace vl::support {

namespace {

struct Unavailable : std::runtime_error {
    Unavailable() : std::runtime_error(SupportController::unavailableMessage()) {}
};

// Sleeps, waking early when the stop is requested; false then.
bool sleepFor(std::chrono::milliseconds duration, const std::stop_token& stop)
{
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    return !woken.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
}

std::string endpoint(const std::string& base, std::string_view path)
{
    auto parts = url::parse(base);
    if (!parts)
        throw Unavailable();
    std::string prefix = parts->path == "/" ? std::string() : parts->path;
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    parts->path = prefix + std::string(path);
    parts->query.reset();
    parts->fragment.reset();
    const auto address = url::build(*parts);
    if (!address)
        throw Unavailable();
    return *address;
}

} // namespace

SupportController::SupportController(SupportContext context, bool countLaunch, QObject* parent)
    : QObject(parent), context_(std::move(context))
{
    Q_ASSERT(context_.defaults && context_.http && context_.desktop);
    Settings& defaults = *context_.defaults;
    paymentCompleted_ = defaults.boolean(kPaymentCompletedKey).value_or(false);
    if (countLaunch) {
        const long long launches = defaults.integer(kLaunchCountKey).value_or(0) + 1;
        defaults.setInteger(kLaunchCountKey, launches);
        const long long onboarding = defaults.integer(kOnboardingVersionKey).value_or(0);
        // Every fourth launch, once onboarding is done and nothing was paid.
        if (!paymentCompleted_ && onboarding >= 2 && launches % 4 == 0)
            isPresented_ = true;
    }
}

SupportController::~SupportController()
{
    checkout_.request_stop();
    poller_.request_stop();
    if (checkout_.joinable())
        checkout_.join();
    if (poller_.joinable())
        poller_.join();
}

std::string SupportController::unavailableMessage()
{
    return "Secure checkout is not available right now. Please try again later.";
}

void SupportController::setPresented(bool value)
{
    if (value == isPresented_)
        return;
    isPresented_ = value;
    emit isPresentedChanged();
}

void SupportController::setErrorMessageText(const QString& text)
{
    setError(text.isEmpty() ? std::nullopt : std::optional<std::string>(text.toStdString()));
}

void SupportController::setError(std::optional<std::string> message)
{
    if (message == errorMessage_)
        return;
    errorMessage_ = std::move(message);
    emit stateChanged();
}

void SupportController::presentFromMenu()
{
    setError(std::nullopt);
    setPresented(true);
}

void SupportController::startCheckout(const QString& source)
{
    if (isStartingCheckout_ || paymentCompleted_)
        return;
    isStartingCheckout_ = true;
    errorMessage_.reset();
    emit stateChanged();

    if (checkout_.joinable())
        checkout_.join(); // the last one has already reported
    checkout_ = std::jthread([this, tag = source.toStdString()](std::stop_token stop) {
        std::optional<Checkout> checkout;
        std::optional<std::string> error;
        try {
            checkout = requestCheckout(tag, stop);
        } catch (const Cancelled&) {
            return; // only at teardown
        } catch (const std::exception& e) {
            error = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, checkout, error] { checkoutFinished(checkout, error); }, Qt::QueuedConnection);
    });
}

SupportController::Checkout SupportController::requestCheckout(const std::string& source, std::stop_token stop) const
{
    const Settings& shared = context_.shared ? *context_.shared : *context_.defaults;
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint(context_.baseURL, "/api/support/checkout");
    request.timeout = std::chrono::seconds(60);
    request.headers = {{"Content-Type", "application/json"}};
    request.body = json::dump(json::Json{{"email", shared.string(kSubscriberEmailKey).value_or("")},
                                         {"source", source}});
    const HttpResponse response = context_.http->perform(request, stop);
    if (response.status < 200 || response.status > 299)
        throw Unavailable();
    try {
        const json::Json body = json::parse(response.body);
        const json::ObjectReader reader(body, "checkout reply");
        return {reader.string("sessionId"), reader.string("url")};
    } catch (const json::DecodeError&) {
        throw std::runtime_error("The checkout service sent a reply that could not be read.");
    }
}

bool SupportController::isUsablePaymentPage(const std::string& address) const
{
    // Only a web page goes to the browser: a reply naming a file, a script or any
    // other scheme is refused.
    const auto parts = url::parse(address);
    if (!parts || parts->host.empty())
        return false;
    const QString scheme = QString::fromStdString(parts->scheme).toLower();
    if (scheme == QLatin1String("https"))
        return true;
    return context_.isTest && scheme == QLatin1String("http") && url::isLoopbackHost(parts->host);
}

void SupportController::checkoutFinished(std::optional<Checkout> checkout, std::optional<std::string> error)
{
    if (checkout && !error) {
        if (!isUsablePaymentPage(checkout->url)
            || !context_.desktop->openUrl(QUrl(QString::fromStdString(checkout->url), QUrl::StrictMode)))
            error = unavailableMessage();
    }
    if (error) {
        errorMessage_ = std::move(error);
    } else {
        isAwaitingPayment_ = true;
        startPolling(checkout->sessionId);
    }
    isStartingCheckout_ = false;
    emit stateChanged();
}

bool SupportController::requestPaid(const std::string& sessionId, std::stop_token stop) const
{
    // The identifier is the server's text: encoded once, whatever it holds.
    const QByteArray encoded = QUrl::toPercentEncoding(QString::fromStdString(sessionId));
    const auto address = url::appendQueryItem(endpoint(context_.baseURL, "/api/support/status"), "sessionId",
                                              encoded.toStdString());
    if (!address)
        throw Unavailable();
    HttpRequest request;
    request.url = *address;
    const HttpResponse response = context_.http->perform(request, stop);
    if (response.status < 200 || response.status > 299)
        throw Unavailable();
    const json::Json body = json::parse(response.body);
    return json::ObjectReader(body, "status reply").boolean("paid");
}

void SupportController::startPolling(const std::string& sessionId)
{
    // One poller at a time: the old one is stopped, and anything it still reports
    // carries an old generation and is dropped.
    const long long generation = ++pollGeneration_;
    poller_.request_stop();
    if (poller_.joinable())
        poller_.join();
    poller_ = std::jthread([this, sessionId, generation](std::stop_token stop) {
        for (int round = 0; round < context_.maxPollRounds; ++round) {
            if (!sleepFor(context_.pollInterval, stop))
                return;
            bool paid = false;
            try {
                paid = requestPaid(sessionId, stop);
            } catch (const Cancelled&) {
                return;
            } catch (const std::exception&) {
                paid = false; // a failed round counts as unpaid, silently
            }
            if (stop.stop_requested())
                return;
            if (paid) {
                QMetaObject::invokeMethod(
                    this, [this, generation] { pollingEnded(generation, true); }, Qt::QueuedConnection);
                return;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { pollingEnded(generation, false); }, Qt::QueuedConnection);
    });
}

void SupportController::pollingEnded(long long generation, bool paid)
{
    if (generation != pollGeneration_)
        return;
    if (paid) {
        markPaid();
        return;
    }
    if (isAwaitingPayment_) {
        isAwaitingPayment_ = false;
        emit stateChanged();
    }
}

void SupportController::markPaid()
{
    paymentCompleted_ = true;
    isAwaitingPayment_ = false;
    errorMessage_.reset();
    context_.defaults->setBoolean(kPaymentCompletedKey, true);
    emit stateChanged();
}

} // namespace vl::support
