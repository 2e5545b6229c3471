// The texts handed to page scripts: run through a real JavaScript engine, no file name
// can break out of the call; and the form-URL encoding of upload answers.
#include "services/PageScript.h"

#include <QJSEngine>
#include <QJSValue>
#include <gtest/gtest.h>

using namespace pelidor;

TEST(PageScript, ArgumentsArriveInThePageUnchanged) {
    const QStringList hostile = {
        "plain.png",
        "quote\" + alert(1) + \".png",
        "single' quote.png",
        "back\\slash\\\".png",
        "line\nbreak\r\n.png",
        QString("separators") + QChar(0x2028) + QChar(0x2029) + ".png",
        QString("control") + QChar(1) + QChar(0x1f) + QChar(0x7f) + ".png",
        "</script><b>.png",
        "中文 ü 😀.png",
        "",
    };
    for (const QString& name : hostile) {
        QJSEngine engine;
        engine.evaluate("var calls = []; function uploadBegain(n, e) { calls.push(n, e); }");
        const QString call = PageScriptCall("uploadBegain", {name, "png"});
        const QJSValue result = engine.evaluate(call);
        ASSERT_FALSE(result.isError()) << call.toStdString();
        const QJSValue calls = engine.globalObject().property("calls");
        ASSERT_EQ(calls.property("length").toInt(), 2) << call.toStdString();
        EXPECT_EQ(calls.property(0).toString(), name) << call.toStdString();
        EXPECT_EQ(calls.property(1).toString(), "png");
        EXPECT_FALSE(call.contains('\n') || call.contains('\r') || call.contains("</"));
    }
}

TEST(PageScript, FormUrlEncoding) {
    struct Case {
        QString text, encoded;
    };
    const Case cases[] = {
        {"AZaz09*@._-$!'()", "AZaz09*@._-$!'()"},
        {"a b", "a+b"},
        {"{\"err\":\"upload failure\"}", "%7b%22err%22%3a%22upload+failure%22%7d"},
        {"~/+&=%", "%7e%2f%2b%26%3d%25"},
        {"ü中", "%c3%bc%e4%b8%ad"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormUrlEncode(c.text), c.encoded) << c.text.toStdString();
}
