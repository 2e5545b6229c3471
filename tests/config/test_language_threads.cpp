// The language lookup while one thread switches packs and others read: every value a
// reader gets is the complete value of one pack (or the fallback or default the lookup
// gives), never a mix of two packs inside one value, never garbage and never a crash.
// Run under ThreadSanitizer as well (scripts/tsan).
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "config/LangCodes.h"
#include "tests/config/test_language_support.h"

namespace pelidor::test {
namespace {

// A text long enough that a torn copy would show: the pack's word many times over.
std::string longText(const std::string& word) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += word + " " + std::to_string(i) + ", ";
    return text + "end";
}

struct Pack {
    const char* base;
    const char* native;
    const char* hello;
    const char* bye;
    const char* font;
    int size;
    const char* charsetName;
    int charset;
    const char* longWord;
};

const Pack kPacks[] = {
    {"English", "English", "Hello", "Goodbye", "DejaVu Sans", 9, "ANSI_CHARSET", 0, "English"},
    {"German", "Deutsch", "Hallo", "Auf Wiedersehen", "Arial", 12, "EASTEUROPE_CHARSET", 238,
     "Deutsch"},
    {"ChineseSimplified", "简体中文", "你好", "再见", "Noto Sans CJK SC", 10, "GB2312_CHARSET", 134,
     "中文"},
};

// What a reader may see: the values of every pack, plus what the lookup gives before
// the first selection (no active file: English texts, the default font).
struct Allowed {
    std::set<std::string> hello, bye, longs, fonts, files;
    std::set<int> sizes, charsets;
    std::vector<std::string> list;
};

class LanguageThreads : public LanguageFolderTest {
protected:
    void SetUp() override {
        LanguageFolderTest::SetUp();
        for (const Pack& p : kPacks) {
            std::string text = std::string("[Lang]\nNativeLanguage=") + p.native +
                               "\n[Translation]\nDefaultFont=" + p.font +
                               "\nDefaultFontSize=" + std::to_string(p.size) +
                               "\nDefaultCharSet=" + p.charsetName + "\nHello=" + p.hello +
                               "\nLong=" + longText(p.longWord) + "\n[Message]\nBye=" + p.bye;
            if (std::string(p.base) == "English")
                text += "\n[Translation]\nOnlyEnglish=Only";
            writePack(p.base, text);
            allowed.hello.insert(p.hello);
            allowed.bye.insert(p.bye);
            allowed.longs.insert(longText(p.longWord));
            allowed.fonts.insert(p.font);
            allowed.sizes.insert(p.size);
            allowed.charsets.insert(p.charset);
            allowed.files.insert(tree.path(std::string(p.base) + ".ini"));
        }
        // Listed by base name with the letters folded.
        allowed.list = {"简体中文=ChineseSimplified", "English=English", "Deutsch=German"};
    }

    // Starts `readers` threads that read every kind of value in a loop until stop();
    // a value outside `allowed` is counted and the first one kept for the message.
    void startReaders(int readers) {
        stop_ = false;
        for (int r = 0; r < readers; ++r)
            threads_.emplace_back([this] { readLoop(); });
    }

    // Waits until the readers have done `rounds` more rounds between them.
    void waitForRounds(long rounds) {
        const long target = rounds_.load() + rounds;
        while (rounds_.load() < target)
            std::this_thread::yield();
    }

    void stopReaders() {
        stop_ = true;
        for (auto& t : threads_)
            t.join();
        threads_.clear();
    }

    void expectNoBadValue() {
        std::lock_guard lock(badLock_);
        EXPECT_EQ(bad_.load(), 0) << "first unexpected value: " << firstBad_;
    }

    Allowed allowed;

private:
    void report(const std::string& what, const std::string& value) {
        if (bad_.fetch_add(1) == 0) {
            std::lock_guard lock(badLock_);
            firstBad_ = what + " = '" + value.substr(0, 200) + "'";
        }
    }

    template <typename T>
    void check(const char* what, const std::set<T>& allowedValues, const T& value) {
        if (allowedValues.count(value) == 0) {
            if constexpr (std::is_same_v<T, std::string>)
                report(what, value);
            else
                report(what, std::to_string(value));
        }
    }

    void readLoop() {
        std::vector<std::string> list;
        while (!stop_.load()) {
            check("Hello", allowed.hello, ReadLangString("Translation", "Hello"));
            check("Bye", allowed.bye, ReadLangString("Message", "Bye", "dflt"));
            check("Long", allowed.longs, ReadLangString("Translation", "Long"));
            const std::string only = ReadLangString("Translation", "OnlyEnglish");
            if (only != "Only")
                report("OnlyEnglish", only);
            const std::string nowhere = ReadLangString("Translation", "Nowhere", "dflt");
            if (nowhere != "dflt")
                report("Nowhere", nowhere);
            check("font", allowed.fonts, GetLangFontName());
            check("size", allowed.sizes, GetLangFontSize());
            check("charset", allowed.charsets, GetLangCharset());
            check("file", allowed.files, LangFile());
            GetLanguageList(list);
            if (list != allowed.list)
                report("list", list.empty() ? std::string("(empty)") : list.front());
            const std::string native = GetNativeLanguage("German");
            if (native != "Deutsch")
                report("native", native);
            ++rounds_;
        }
    }

    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
    std::atomic<long> rounds_{0};
    std::atomic<int> bad_{0};
    std::mutex badLock_;
    std::string firstBad_;
};

TEST_F(LanguageThreads, SwitchingPacksWhileOthersReadEverything) {
    SelectLanguage("German");
    startReaders(3);
    waitForRounds(3);
    // Missing and unsafe names select English.
    const char* const order[] = {"ChineseSimplified", "English", "German", "Missing", "../German"};
    for (int i = 0; i < 300; ++i)
        SelectLanguage(order[i % 5]);
    SelectLanguage("ChineseSimplified");
    waitForRounds(20);
    stopReaders();
    expectNoBadValue();
    EXPECT_EQ(LangFile(), tree.path("ChineseSimplified.ini"));
    EXPECT_EQ(ReadLangString("Translation", "Hello"), "你好");
    EXPECT_EQ(GetLangFontName(), "Noto Sans CJK SC");
}

TEST_F(LanguageThreads, FirstSelectionWhileOthersRead) {
    // Before the first selection there is no active file: texts come from English and
    // the font attributes are the defaults. The first lookups also load the English
    // table on whichever thread gets there first.
    allowed.fonts.insert("Tahoma");
    allowed.sizes.insert(8);
    allowed.charsets.insert(kDefaultCharset);
    allowed.files.insert("");
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        SetLanguageFolder(tree.root()); // forgets the active file and both tables
        ASSERT_EQ(LangFile(), "");
        startReaders(3);
        SelectLanguage(round % 2 == 0 ? "German" : "ChineseSimplified");
        waitForRounds(3);
        stopReaders();
        expectNoBadValue();
        EXPECT_EQ(ReadLangString("Translation", "Hello"), round % 2 == 0 ? "Hallo" : "你好");
    }
}

} // namespace
} // namespace pelidor::test
