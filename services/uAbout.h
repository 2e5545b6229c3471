// The about window "frmAbout": the product's name and logo, the version of the running
// program, the maker's support contact and web site (both open in the desktop's programs
// when clicked) and the translators' credits. It is created for one showing: ShowAbout
// makes it over its owner, shows it modally and frees it.
//
// The contact and site come from the maker's web services' addresses (ServiceAddresses):
// the support e-mail address and the web site's host name, or, in the Japanese edition,
// the Japanese site's support page and the Japanese site itself.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QShowEvent;

namespace pelidor {

class TOrlaLinkButton;
class TOrlaPanel;

// The maker's support e-mail address (the about window's contact line).
QString AboutSupportEmail();
// The translators' names, comma-separated (not translated).
QString AboutCredits();

class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize kClientSize{490, 288};
    static constexpr int kLogoSize = 50;

    // Japanese: the Japanese edition's contact and site texts.
    explicit TfrmAbout(QWidget* Owner = nullptr, bool Japanese = false);

    // The active language's font, the caption and the captions of the window's labels
    // ("frmAbout.<component>.Caption" in section Translation, each label's design caption
    // as the default), then the contact and site texts.
    void localize();

    // Opens a new e-mail to the support address (Japanese edition: the support page).
    void lblemailinfoClick();
    // Opens the maker's home page (Japanese edition: the Japanese site).
    void lblhomeinfoClick();

    bool Japanese() const { return FJapanese; }
    // The address lblhomeinfoClick opens.
    QString HomePageUrl() const;
    // The address lblemailinfoClick opens ("mailto:..." outside the Japanese edition).
    QString ContactUrl() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool FJapanese = false;

    QLabel* OrlaImage1 = nullptr;
    QLabel* lbl1 = nullptr;
    QLabel* lblver = nullptr;
    QLabel* lblverinfo = nullptr;
    QLabel* lblemail = nullptr;
    TOrlaLinkButton* lblemailinfo = nullptr;
    QLabel* lblhome = nullptr;
    TOrlaLinkButton* lblhomeinfo = nullptr;
    QLabel* lblthanks = nullptr;
    TOrlaPanel* pnl1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* lblnotice = nullptr;
};

// Creates the about window over Owner, shows it modally and frees it. The one-argument
// form reads the Japanese-edition flag ("IsJP" in the registry stand-in).
void ShowAbout(QWidget* Owner);
void ShowAbout(QWidget* Owner, bool Japanese);

} // namespace pelidor
