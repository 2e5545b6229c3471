// The news service's answer through FilterNews. The input is the answer, then (after NUL
// bytes, which an answer never holds: GetUrlText ends it at the first one) the MSGIDs
// setting, the language codes and today's date-time value.
//
// Properties of the announcements accepted: no more than the answer lists; none whose
// id MSGIDs lists or whose type is 0; a language that is empty or one of the codes
// (ASCII case ignored); a whole-day expiry date. Nothing for text that is not a JSON
// object with a non-empty "servertime".
#include "services/UCheckNewThread.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <charconv>
#include <cmath>
#include <string>

namespace {

bool listed(const std::string& ids, int id) {
    for (const std::string& part : pelidor::fuzz::splitParts(ids, ','))
        if (!part.empty() && part == std::to_string(id))
            return true;
    return false;
}

bool codeMatches(const QString& lang, const std::string& codes) {
    for (const std::string& part : pelidor::fuzz::splitParts(codes, '|'))
        if (QString::fromStdString(part).compare(lang, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = pelidor::fuzz::splitParts(pelidor::fuzz::asText(data, size), '\0', 4);
    const QString answer = QString::fromStdString(parts[0]);
    const std::string msgIds = parts.size() > 1 ? parts[1] : std::string();
    const std::string codes = parts.size() > 2 ? parts[2] : std::string("0409");
    double today = 45634.5;
    if (parts.size() > 3) {
        double v = 0;
        const auto r = std::from_chars(parts[3].data(), parts[3].data() + parts[3].size(), v);
        if (r.ec == std::errc())
            today = v;
    }

    const std::vector<pelidor::TNewsInfo> news = pelidor::FilterNews(answer, msgIds, codes, today);
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toUtf8());
    if (!doc.isObject() || !doc.object().value(QStringLiteral("servertime")).isString() ||
        doc.object().value(QStringLiteral("servertime")).toString().isEmpty()) {
        FUZZ_CHECK(news.empty());
        return 0;
    }
    FUZZ_CHECK(news.size() <=
               static_cast<size_t>(doc.object().value(QStringLiteral("news")).toArray().size()));
    for (const auto& item : news) {
        FUZZ_CHECK(item.mtype != 0);
        FUZZ_CHECK(!listed(msgIds, item.id));
        FUZZ_CHECK(item.langcode.isEmpty() || codeMatches(item.langcode, codes));
        FUZZ_CHECK(std::isfinite(item.expired) && std::floor(item.expired) == item.expired);
    }
    return 0;
}
