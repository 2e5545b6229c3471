#include "shell/SingleInstance.h"

#include "platform/Environment.h"
#include "platform/System.h"

#include <QApplication>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace pelidor {
namespace {

constexpr char kRequest[] = "activate\n";
constexpr char kAnswer[] = "ok\n";
constexpr qsizetype kMaxRequest = 64;

} // namespace

TSingleInstance::TSingleInstance(const QString& key, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty())
        dir = QFile::decodeName(platform::privateRuntimeDir().c_str());
    if (dir.isEmpty())
        return;
    const QString base = key + QLatin1Char('-') + QString::fromStdString(platform::userIdText());
    lockPath_ = dir + QLatin1Char('/') + base + QStringLiteral(".lock");
    serverName_ = dir + QLatin1Char('/') + base;
}

TSingleInstance::~TSingleInstance() {
    release();
}

bool TSingleInstance::tryAcquire() {
    if (lockPath_.isEmpty())
        return true;
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Only a lock whose process is gone is stale, however old it is.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0))
        return true;
    const bool heldByOther = lock_->error() == QLockFile::LockFailedError;
    lock_.reset();
    return !heldByOther;
}

bool TSingleInstance::listen() {
    if (serverName_.isEmpty() || !lock_ || !lock_->isLocked())
        return false;
    // The lock is ours, so a socket file still there is left from a killed instance.
    QLocalServer::removeServer(serverName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &TSingleInstance::onNewConnection);
    if (server_->listen(serverName_))
        return true;
    server_.reset();
    return false;
}

void TSingleInstance::stopListening() {
    if (server_) {
        server_->close();
        server_.reset();
    }
}

void TSingleInstance::release() {
    stopListening();
    if (lock_) {
        lock_->unlock();
        lock_.reset();
    }
}

void TSingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its request is dropped.
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxRequest) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(kMaxRequest);
            if (line == kRequest) {
                emit activationRequested();
                socket->write(kAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool TSingleInstance::activateRunning(int timeoutMs) const {
    if (serverName_.isEmpty())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(500)) {
            socket.write(kRequest);
            if (!socket.waitForBytesWritten(1000))
                return false;
            QByteArray answer;
            while (!answer.contains('\n') && !deadline.hasExpired() &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                answer += socket.readAll();
            answer += socket.readAll();
            return answer.startsWith(kAnswer);
        }
        // The running instance may not be listening yet.
        QThread::msleep(100);
    }
    return false;
}

QWidget* FindTopLevelWindow(const QString& className) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QString name = QString::fromLatin1(widget->metaObject()->className());
        const auto colons = name.lastIndexOf(QLatin1String("::"));
        if (colons >= 0)
            name = name.mid(colons + 2);
        if (name.compare(className, Qt::CaseInsensitive) == 0)
            return widget;
    }
    return nullptr;
}

void RestoreAndRaise(QWidget* window) {
    if (window == nullptr)
        return;
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (!window->isVisible())
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace pelidor
