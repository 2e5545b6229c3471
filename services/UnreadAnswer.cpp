#include "services/UnreadAnswer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLatin1String>

namespace pelidor {

std::vector<int> ParseUnreadAnswer(const QString& Answer) {
    std::vector<int> ids;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(Answer.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return ids;
    for (const QJsonValue& element : doc.array()) {
        const QJsonValue id = element.toObject().value(QLatin1String("id"));
        if (id.isDouble())
            ids.push_back(id.toInt());
    }
    return ids;
}

} // namespace pelidor
