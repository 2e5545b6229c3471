// The unread-message query's answer through ParseUnreadAnswer.
//
// Properties: at most one id per array element; nothing for text that is not a JSON
// array.
#include "services/UnreadAnswer.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<int> ids = pelidor::ParseUnreadAnswer(answer);
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    if (!doc.isArray())
        FUZZ_CHECK(ids.empty());
    else
        FUZZ_CHECK(ids.size() <= static_cast<size_t>(doc.array().size()));
    return 0;
}
