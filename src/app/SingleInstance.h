#pragma once

#include <QDeadlineTimer>
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
// copy that crashed is recognised (its process is gone) and taken over. A start that
// finds the running copy on its way out (it holds the lock but answers no more) keeps
// trying the lock and runs as soon as that copy is gone.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        first,    // this copy runs; activationRequested reports later starts
        handedOn, // another copy runs and has the arguments: this one should quit
        noAnswer, // another copy held the lock all along but never answered: this one should not run
        unguarded, // the runtime folder cannot hold the lock or the socket: no guard here, no lock held
    };

    // `runtimeFolder`: the user's runtime folder ($XDG_RUNTIME_DIR), private to the user.
    explicit SingleInstance(QString runtimeFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running copy, or hands `arguments` to it, waiting at most `waitMs` for
    // it to answer (it may be starting up itself) or to go away.
    Role start(const QStringList& arguments, int waitMs = 30000);

    QString socketPath() const;

    // What a start turned away as `noAnswer` tells the user.
    static QString noAnswerMessage();

signals:
    // A later start asked this copy to come forward, with its command-line arguments.
    void activationRequested(const QStringList& arguments);

private:
    enum class Attempt { answered, lockTaken, unanswered };
    // One try at handing the arguments over; while it waits for an answer it keeps
    // trying the lock, which frees up when the running copy is gone.
    Attempt handOn(const QStringList& arguments, const QDeadlineTimer& deadline);
    // Holding the lock: listens, or lets go of the lock when it cannot.
    Role listen();

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

} // namespace vl::app
