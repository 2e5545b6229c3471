// Texts the program hands to the scripts of the feedback pages.
#pragma once

#include <QString>
#include <QStringList>

namespace pelidor {

// Text as the inside of a JavaScript string literal in double or single quotes: "\", the
// quotes, line breaks (including U+2028 and U+2029), other control characters and "</"
// are escaped, so no text can end the literal or the statement.
QString JsStringEscape(const QString& Text);

// A call of the page function Name with each argument as a string literal:
// PageScriptCall("uploadBegain", {"a.png", "png"}) gives uploadBegain("a.png", "png").
QString PageScriptCall(const QString& Name, const QStringList& Arguments);

// The form-URL encoding of the upload answer: the UTF-8 bytes of Text, letters A-Z and
// a-z, digits and * @ . _ - $ ! ' ( ) as they are, a blank as "+", every other byte as
// "%" and two lower-case hexadecimal digits.
QString FormUrlEncode(const QString& Text);

} // namespace pelidor
