#include "cloud/KeyringSecretStore.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QThread>

#include <qt6keychain/keychain.h>

#include <functional>
#include <future>
#include <memory>

namespace vl {

namespace {

struct Outcome {
    std::int32_t status = SecretStatus::otherError;
    std::string value;
};

QString qtText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// QtKeychain's jobs finish asynchronously and need an event loop in the thread that
// owns them. A private thread with its own loop runs every job, so callers on any
// thread simply block for the answer and the caller's own loop is never re-entered.
struct KeyringSecretStore::Worker {
    QThread thread;
    QObject* context = nullptr; // lives in `thread`

    Worker()
    {
        thread.setObjectName(QStringLiteral("vl-keyring"));
        context = new QObject;
        context->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
        thread.start();
    }

    ~Worker()
    {
        thread.quit();
        thread.wait();
    }

    // make() runs on the worker thread and returns a configured, not yet started job.
    Outcome run(std::function<QKeychain::Job*(QObject* parent)> make, bool wantsText)
    {
        auto promise = std::make_shared<std::promise<Outcome>>();
        auto future = promise->get_future();
        const bool posted = QMetaObject::invokeMethod(
            context,
            [this, make = std::move(make), promise, wantsText] {
                QKeychain::Job* job = make(context);
                job->setAutoDelete(true);
                // Never put the key in a plain file when no keyring answers.
                job->setInsecureFallback(false);
                QObject::connect(job, &QKeychain::Job::finished, context, [promise, wantsText](QKeychain::Job* done) {
                    Outcome outcome;
                    outcome.status = static_cast<std::int32_t>(done->error());
                    if (wantsText && outcome.status == SecretStatus::ok)
                        if (auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(done))
                            outcome.value = reader->textData().toStdString();
                    promise->set_value(std::move(outcome));
                });
                job->start();
            },
            Qt::QueuedConnection);
        if (!posted)
            return {SecretStatus::noBackendAvailable, {}};
        return future.get();
    }
};

KeyringSecretStore::KeyringSecretStore() : worker_(std::make_unique<Worker>()) {}

KeyringSecretStore::~KeyringSecretStore() = default;

SecretStore::ReadResult KeyringSecretStore::read(std::string_view service, std::string_view account)
{
    const QString serviceName = qtText(service), key = qtText(account);
    const Outcome outcome = worker_->run(
        [&](QObject* parent) {
            auto* job = new QKeychain::ReadPasswordJob(serviceName, parent);
            job->setKey(key);
            return job;
        },
        true);
    return {outcome.status, outcome.value};
}

std::int32_t KeyringSecretStore::write(std::string_view service, std::string_view account, std::string_view value)
{
    const QString serviceName = qtText(service), key = qtText(account), data = qtText(value);
    return worker_
        ->run(
            [&](QObject* parent) {
                auto* job = new QKeychain::WritePasswordJob(serviceName, parent);
                job->setKey(key);
                job->setTextData(data);
                return job;
            },
            false)
        .status;
}

std::int32_t KeyringSecretStore::remove(std::string_view service, std::string_view account)
{
    const QString serviceName = qtText(service), key = qtText(account);
    return worker_
        ->run(
            [&](QObject* parent) {
                auto* job = new QKeychain::DeletePasswordJob(serviceName, parent);
                job->setKey(key);
                return job;
            },
            false)
        .status;
}

SecretStore& systemSecretStore()
{
    // Deliberately never destroyed: its thread must not be torn down during static
    // destruction, after the application object is gone.
    static auto* store = new KeyringSecretStore;
    return *store;
}

} // namespace vl
