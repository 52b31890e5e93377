#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace vl::app {

// One running copy per user, so two windows never autosave over each other's edits.
// The first start holds a lock file in the user's runtime folder for its whole run and
// listens on a local socket beside it; a later start hands its arguments over that
// socket and goes, and the first brings its window forward. A lock or socket left by a
// copy that crashed is recognised (its process is gone) and taken over.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        first,    // this copy runs; activationRequested reports later starts
        handedOn, // another copy runs and has the arguments: this one should quit
        noAnswer, // another copy holds the lock but never answered: this one should not run
        unguarded, // the runtime folder cannot hold the lock or the socket: no guard here
    };

    // `runtimeFolder`: the user's runtime folder ($XDG_RUNTIME_DIR), private to the user.
    explicit SingleInstance(QString runtimeFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running copy, or hands `arguments` to it, waiting at most `waitMs` for
    // it to answer (it may be starting up itself).
    Role start(const QStringList& arguments, int waitMs = 30000);

    QString socketPath() const;

signals:
    // A later start asked this copy to come forward, with its command-line arguments.
    void activationRequested(const QStringList& arguments);

private:
    bool handOn(const QStringList& arguments, int waitMs);

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

} // namespace vl::app
