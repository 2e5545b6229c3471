// The settings dialog under test: a fresh dialog and settings record for each test, the
// English pack of the repository, the local disks and the pickers answered by the test.
#pragma once

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "ui/settings/uDFSettings.h"
#include "ui/toolkit/OrlaCheckListBox.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QTest>

#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace pelidor::settings_ui_test {

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program's look, as the program applies it before its first window.
        static const bool look = [] {
            ApplyOrlaLook(*static_cast<QApplication*>(QCoreApplication::instance()));
            return true;
        }();
        (void)look;
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        SelectLanguage("English");
        AppConfig = TAppConfig();
        dlg = std::make_unique<TfrmDFSettings>();
        dlg->LocalDisks = [this] { return disks; };
        dlg->FolderPicker = [this](QWidget*, const QString& title, const QString& root,
                                   QString& folder) {
            pickerTitles.push_back(title);
            pickerRoots.push_back(root);
            if (folderAnswers.empty())
                return false;
            folder = folderAnswers.front();
            folderAnswers.pop_front();
            return !folder.isEmpty(); // an empty answer stands for Cancel
        };
        dlg->InputBox = [this](QWidget*, const QString&, const QString& prompt, QString& text) {
            prompts.push_back(prompt);
            if (textAnswers.empty())
                return false;
            text = textAnswers.front();
            textAnswers.pop_front();
            return text != QLatin1String("<cancel>");
        };
        dlg->ColorPicker = [this](QWidget*, const QColor& initial, QColor& chosen) {
            colorInitials.push_back(initial);
            if (colorAnswers.empty())
                return false;
            chosen = colorAnswers.front();
            colorAnswers.pop_front();
            return true;
        };
    }

    void TearDown() override {
        dlg.reset();
        SetLanguageFolder({});
    }

    // Opens the dialog on Page the way ShowSettings does, without the modal loop.
    void open(const char* page) {
        ASSERT_TRUE(dlg->SetActivePage(QLatin1String(page)));
        dlg->show();
        QCoreApplication::processEvents();
    }
    void ok() {
        QTest::mouseClick(child<QAbstractButton>("btnOk"), Qt::LeftButton);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_FALSE(dlg->isVisible());
    }
    void cancel() {
        QTest::mouseClick(child<QAbstractButton>("btnCancel"), Qt::LeftButton);
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
        EXPECT_FALSE(dlg->isVisible());
    }

    template <typename W>
    W* child(const char* name) const {
        W* w = dlg->findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    TOrlaCheckListBox* list(const char* name) const { return child<TOrlaCheckListBox>(name); }

    // Clicks a row's check box, its action icon, or its caption.
    static void clickCheck(TOrlaCheckListBox* list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->checkRect(row).center());
    }
    static void clickIcon(TOrlaCheckListBox* list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->actionRect(row).center());
    }
    static void clickCaption(TOrlaCheckListBox* list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }

    // The rows as "caption|value|tick", tick "x" ticked, "o" not ticked, "-" no check box;
    // excluded-folder rows end in "|folder".
    static std::vector<std::string> rows(const TOrlaCheckListBox* list) {
        std::vector<std::string> out;
        for (int i = 0; i < list->count(); ++i) {
            std::string row = list->caption(i).toStdString() + "|" + list->value(i).toStdString() +
                              "|" +
                              (!list->isCheckable(i) ? "-"
                               : list->isChecked(i)  ? "x"
                                                     : "o");
            if (list->folderMarker(i))
                row += "|folder";
            out.push_back(row);
        }
        return out;
    }

    std::vector<std::string> disks;
    std::deque<QString> folderAnswers; // "" = the picker cancelled
    std::deque<QString> textAnswers;   // "<cancel>" = the input box cancelled
    std::deque<QColor> colorAnswers;
    std::vector<QString> pickerTitles, pickerRoots, prompts;
    std::vector<QColor> colorInitials;
    std::unique_ptr<TfrmDFSettings> dlg;
};

// Every field the dialog can change, as one text, so that "nothing changed" is one
// comparison.
inline std::string dump(const TAppConfig& c) {
    std::string out;
    const auto list = [&](const char* name, const TStringList& items) {
        out += name;
        out += ":";
        for (const auto& item : items)
            out += "[" + item + "]";
        out += "\n";
    };
    out += "AutoUpdate=" + std::to_string(c.AutoUpdate) +
           " Color1=" + std::to_string(c.GroupColor1) + " Color2=" + std::to_string(c.GroupColor2) +
           " Recycle=" + std::to_string(c.RecycleDelete) +
           " AutoBackup=" + std::to_string(c.AutoBackup) + " backPath=" + c.backPath +
           " Min=" + std::to_string(c.MinSize) + " Max=" + std::to_string(c.MaxSize) +
           " InCheck=" + c.CheckedIncludes + " ExCheck=" + c.CheckedExcludes + "\n";
    list("includePath", c.includePath);
    list("includePathCustom", c.includePathCustom);
    list("referencePath", c.referencePath);
    list("includeKeywords", c.includeKeywords);
    list("includeKeywordsCustom", c.includeKeywordsCustom);
    list("excludePath", c.excludePath);
    list("excludeKeywords", c.excludeKeywords);
    list("excludePathCustom", c.excludePathCustom);
    list("excludeKeywordsCustom", c.excludeKeywordsCustom);
    return out;
}

} // namespace pelidor::settings_ui_test
