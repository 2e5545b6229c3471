#include "services/PageScript.h"

namespace pelidor {

QString JsStringEscape(const QString& Text) {
    QString out;
    out.reserve(Text.size() + 8);
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text.at(i);
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\'':
            out += QLatin1String("\\'");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case 0x2028:
        case 0x2029:
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            break;
        case u'/':
            // "</script>" must not close a script element the text may end up in.
            out += (i > 0 && Text.at(i - 1) == QLatin1Char('<')) ? QLatin1String("\\/")
                                                                 : QLatin1String("/");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

QString PageScriptCall(const QString& Name, const QStringList& Arguments) {
    QStringList quoted;
    for (const QString& argument : Arguments)
        quoted << QLatin1Char('"') + JsStringEscape(argument) + QLatin1Char('"');
    return Name + QLatin1Char('(') + quoted.join(QLatin1String(", ")) + QLatin1Char(')');
}

QString FormUrlEncode(const QString& Text) {
    static const char hex[] = "0123456789abcdef";
    QString out;
    for (const char ch : Text.toUtf8()) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            QByteArrayView("*@._-$!'()").contains(char(b))) {
            out += QLatin1Char(char(b));
        } else if (b == ' ') {
            out += QLatin1Char('+');
        } else {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 15]);
        }
    }
    return out;
}

} // namespace pelidor
