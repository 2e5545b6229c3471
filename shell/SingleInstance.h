// One running instance per user. The first start takes a per-user lock file and
// answers on a local socket, both in the user's private runtime folder and named
// after "QdxMutex2012" and the user id. A later start finds the lock taken, asks
// the running instance over the socket to restore and raise its main window, and
// ends. A lock or socket left by a killed instance is recognised and replaced.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;
class QWidget;

namespace pelidor {

class TSingleInstance : public QObject {
    Q_OBJECT

public:
    // `key` names the guard; `folder` holds the lock and the socket (default: the
    // user's private runtime folder).
    explicit TSingleInstance(const QString& key = QStringLiteral("QdxMutex2012"),
                             const QString& folder = QString());
    ~TSingleInstance() override;

    // Takes the lock without waiting. False when another instance holds it. When
    // there is no private folder to put it in, the guard cannot work and the result
    // is true (the program runs).
    bool tryAcquire();
    // Starts answering later starts (needs the event loop). False when the socket
    // cannot be set up; the program still runs.
    bool listen();
    // Stops answering later starts; the lock stays held, so they wait for the end.
    void stopListening();
    // Lets go of the socket and the lock.
    void release();

    // For a later start: asks the running instance to restore its window, retrying
    // for up to `timeoutMs` while that instance is still starting. True when it
    // confirmed.
    bool activateRunning(int timeoutMs = 3000) const;

    const QString& lockPath() const { return lockPath_; }
    const QString& serverName() const { return serverName_; }

signals:
    // A later start asked for the main window.
    void activationRequested();

private:
    void onNewConnection();

    QString lockPath_;
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

// The top-level window whose class is named `className` (letters A-Z compared
// without regard to case, namespace left aside), or null.
QWidget* FindTopLevelWindow(const QString& className);

// Brings a window back: out of the minimised state (a maximised window stays
// maximised), shown, raised and made the active window. Null does nothing.
void RestoreAndRaise(QWidget* window);

} // namespace pelidor
