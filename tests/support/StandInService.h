// Runs services_standin.py (the stand-in for the maker's web services) on 127.0.0.1 for
// one test: a private state folder, a free port, answers set per exchange and the log of
// every request it received.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace pelidor::test {

class StandInService {
public:
    StandInService() = default;
    ~StandInService() { stop(); }
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    // Starts the script and waits for its port (a free one, or Port when given). False
    // (with the reason in error()) when it does not come up within a few seconds.
    bool start(int Port = 0);
    void stop();
    bool running() const;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    const QString& error() const { return error_; }
    QString stateDir() const { return dir_ ? dir_->path() : QString(); }

    // Sets the answer of one exchange ("update", "news", "statistics", "unread", "upload",
    // "page-home", ...; see the script). An empty object restores the default.
    void setAnswer(const QString& exchange, const QJsonObject& answer);
    // Every exchange back to its default answer; the log emptied.
    void clearAnswers();
    void resetLog();
    // The same with only a body (status 200).
    void setAnswerBody(const QString& exchange, const QString& body);

    // Every request received so far, oldest first (objects with method, path, query,
    // exchange, headers, body, body_base64).
    QJsonArray log() const;
    // The entries of one exchange.
    QJsonArray requests(const QString& exchange) const;
    // Processes events until the exchange has at least Count entries or TimeoutMs passed.
    bool waitForRequests(const QString& exchange, int Count, int TimeoutMs = 5000) const;

    // The value of a request header (name compared without regard to case); null when the
    // request does not carry it.
    static QString header(const QJsonObject& entry, const QString& name);

    // The script's path (for tests that run it themselves).
    static QString scriptPath();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    QString error_;
};

// A loopback address on which nothing listens (a port that was free a moment ago).
QString UnreachableBaseUrl();

} // namespace pelidor::test
