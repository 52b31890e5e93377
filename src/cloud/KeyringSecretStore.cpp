#include "cloud/KeyringSecretStore.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QThread>

#include <qt6keychain/keychain.h>

#include <functional>
#include <future>
#include <memory>
#include <mutex>

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

namespace {

// QtKeychain's jobs finish asynchronously and need an event loop in the thread that
// owns them. A private thread with its own loop runs every job, so callers on any
// thread simply block for the answer, and the caller's own loop (if it runs at all
// yet) is never re-entered. Qt runs no event loop before an application object
// exists, so until then the keyring reports that no backend is available.
// QtKeychain queues all jobs on one executor object that lives in the thread of
// the first job, so there is exactly one such thread per process, shared by every
// store, and it lives as long as the process.
class KeyringThread {
public:
    static KeyringThread& shared()
    {
        static auto* instance = new KeyringThread; // never destroyed, see above
        return *instance;
    }

    QObject* started()
    {
        std::lock_guard lock(mutex);
        if (!context) {
            if (!QCoreApplication::instance())
                return nullptr;
            thread.setObjectName(QStringLiteral("vl-keyring"));
            context = new QObject;
            context->moveToThread(&thread);
            thread.start();
        }
        return context;
    }

    // make() runs on the worker thread and returns a configured, not yet started job.
    Outcome run(std::function<QKeychain::Job*(QObject* parent)> make, bool wantsText)
    {
        QObject* owner = started();
        if (!owner) {
            logLine("Keyring", "no Qt application yet; the system keyring cannot be reached");
            return {SecretStatus::noBackendAvailable, {}};
        }
        auto promise = std::make_shared<std::promise<Outcome>>();
        auto future = promise->get_future();
        const bool posted = QMetaObject::invokeMethod(
            owner,
            [owner, make = std::move(make), promise, wantsText] {
                QKeychain::Job* job = make(owner);
                job->setAutoDelete(true);
                // Never put the key in a plain file when no keyring answers.
                job->setInsecureFallback(false);
                QObject::connect(job, &QKeychain::Job::finished, owner, [promise, wantsText](QKeychain::Job* done) {
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

private:
    std::mutex mutex;
    QThread thread;
    QObject* context = nullptr; // lives in `thread` once started
};

} // namespace

SecretStore::ReadResult KeyringSecretStore::read(std::string_view service, std::string_view account)
{
    const QString serviceName = qtText(service), key = qtText(account);
    const Outcome outcome = KeyringThread::shared().run(
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
    return KeyringThread::shared()
        .run(
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
    return KeyringThread::shared()
        .run(
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
    static KeyringSecretStore store;
    return store;
}

} // namespace vl
