#include "StandInService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QThread>

namespace pelidor::test {

QString StandInService::scriptPath() {
    return QStringLiteral(PELIDOR_STANDIN_SCRIPT);
}

bool StandInService::start(int Port) {
    stop();
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral("python3"),
                    {scriptPath(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"), QString::number(Port), QStringLiteral("--state"),
                     dir_->path()});
    QDeadlineTimer deadline(10000);
    while (!process_->canReadLine()) {
        if (deadline.hasExpired() || !process_->waitForReadyRead(int(deadline.remainingTime()))) {
            if (!process_->canReadLine()) {
                error_ = QStringLiteral("the stand-in did not start: ") + process_->errorString();
                stop();
                return false;
            }
        }
    }
    bool ok = false;
    port_ = QString::fromUtf8(process_->readLine()).trimmed().toInt(&ok);
    if (!ok || port_ <= 0) {
        error_ = QStringLiteral("the stand-in printed no port");
        stop();
        return false;
    }
    return true;
}

void StandInService::stop() {
    if (process_) {
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(5000);
        }
        process_.reset();
    }
    port_ = 0;
}

bool StandInService::running() const {
    return process_ && process_->state() == QProcess::Running;
}

QString StandInService::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void StandInService::setAnswer(const QString& exchange, const QJsonObject& answer) {
    const QString path = dir_->path() + QStringLiteral("/answers/") + exchange + ".json";
    if (answer.isEmpty()) {
        QFile::remove(path);
        return;
    }
    // Written whole under another name, then renamed: a request never reads half a file.
    QFile file(path + ".tmp");
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QJsonDocument(answer).toJson(QJsonDocument::Compact));
        file.close();
        QFile::remove(path);
        file.rename(path);
    }
}

void StandInService::setAnswerBody(const QString& exchange, const QString& body) {
    setAnswer(exchange, QJsonObject{{QStringLiteral("body"), body}});
}

void StandInService::clearAnswers() {
    if (!dir_)
        return;
    QDir answers(dir_->path() + QStringLiteral("/answers"));
    for (const QString& name : answers.entryList({QStringLiteral("*.json")}, QDir::Files))
        answers.remove(name);
}

void StandInService::resetLog() {
    if (!dir_)
        return;
    QFile file(dir_->path() + QStringLiteral("/log.jsonl"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.close();
}

QJsonArray StandInService::log() const {
    QJsonArray entries;
    if (!dir_)
        return entries;
    QFile file(dir_->path() + QStringLiteral("/log.jsonl"));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            entries.append(doc.object());
    }
    return entries;
}

QJsonArray StandInService::requests(const QString& exchange) const {
    QJsonArray result;
    for (const QJsonValue& entry : log()) {
        if (entry.toObject().value(QStringLiteral("exchange")).toString() == exchange)
            result.append(entry);
    }
    return result;
}

bool StandInService::waitForRequests(const QString& exchange, int Count, int TimeoutMs) const {
    QDeadlineTimer deadline(TimeoutMs);
    while (requests(exchange).size() < Count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

QString StandInService::header(const QJsonObject& entry, const QString& name) {
    for (const QJsonValue& pair : entry.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray kv = pair.toArray();
        if (kv.size() == 2 && kv.at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return kv.at(1).toString();
    }
    return QString();
}

QString UnreachableBaseUrl() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

} // namespace pelidor::test
