// The update service's answer (UTF-8 bytes, as GetUrlText hands them over) through
// ParseUpdateAnswer.
//
// Properties: an answer that mentions "Malwarebytes" yields nothing else; a build number
// is taken only from a JSON object whose "stopped" is 0; the version notes are lines
// without line breaks; text that is not a JSON object says nothing.
#include "services/UCheckNewThread.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QJsonDocument>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const pelidor::TUpdateAnswer result = pelidor::ParseUpdateAnswer(answer);
    if (result.Malwarebytes) {
        FUZZ_CHECK(!result.HasStopped && !result.HasBuild && result.VerInfo.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!result.HasBuild || (result.HasStopped && !result.Stopped));
    FUZZ_CHECK(result.HasStopped || (!result.Stopped && result.DownloadUrl.isEmpty() &&
                                     result.BlogUrl.isEmpty() && result.VerInfo.isEmpty()));
    if (result.HasStopped)
        FUZZ_CHECK(QJsonDocument::fromJson(answer.toUtf8()).isObject());
    for (const QString& line : result.VerInfo)
        FUZZ_CHECK(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')));
    return 0;
}
