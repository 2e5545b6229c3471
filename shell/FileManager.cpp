#include "shell/FileManager.h"

#include <QAtomicInteger>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace pelidor {
namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kObjectPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kInterface = QStringLiteral("org.freedesktop.FileManager1");

bool isUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QByteArray absoluteBytes(const std::string& path) {
    QByteArray bytes(path.data(), qsizetype(path.size()));
    if (!bytes.startsWith('/')) {
        QByteArray base = QFile::encodeName(QDir::currentPath());
        if (!base.endsWith('/'))
            base += '/';
        bytes.prepend(base);
    }
    return bytes;
}

// Calls `method` of the file manager with the file's address and an empty start-up id.
// The bus is the one DBUS_SESSION_BUS_ADDRESS names at this moment (a connection of its
// own, closed again afterwards), or the desktop's default session bus when it is unset.
bool callFileManager(const QString& method, const std::string& path) {
    if (path.empty())
        return false;
    const QString uri = QString::fromLatin1(LocalFileUri(path));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kObjectPath, kInterface, method);
    call << QStringList{uri} << QString();

    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        return bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() ==
               QDBusMessage::ReplyMessage;
    }

    static QAtomicInteger<int> serial;
    const QString name =
        QStringLiteral("pelidor-file-manager-%1").arg(serial.fetchAndAddRelaxed(1));
    bool accepted = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (bus.isConnected())
            accepted = bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() ==
                       QDBusMessage::ReplyMessage;
    }
    QDBusConnection::disconnectFromBus(name);
    return accepted;
}

} // namespace

QUrl LocalFileUrl(const std::string& path) {
    const QByteArray bytes = absoluteBytes(path);
    if (isUtf8(bytes))
        return QUrl::fromLocalFile(QString::fromUtf8(bytes));
    // Not UTF-8: every byte outside the unreserved set is percent-encoded as it is.
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray LocalFileUri(const std::string& path) {
    return LocalFileUrl(path).toEncoded();
}

bool ShowItems(const std::string& path) {
    return callFileManager(QStringLiteral("ShowItems"), path);
}

bool ShowItemProperties(const std::string& path) {
    return callFileManager(QStringLiteral("ShowItemProperties"), path);
}

bool ShowInFolder(const std::string& path) {
    if (path.empty())
        return false;
    if (ShowItems(path))
        return true;
    const QByteArray bytes = absoluteBytes(path);
    const std::string folder(bytes.constData(), size_t(bytes.lastIndexOf('/') + 1));
    QDesktopServices::openUrl(LocalFileUrl(folder));
    return false;
}

bool OpenWithAssociatedProgram(const std::string& path) {
    if (path.empty())
        return false;
    return QDesktopServices::openUrl(LocalFileUrl(path));
}

} // namespace pelidor
