// The program's own properties window for one file, shown when no file manager takes
// the properties request: name, folder, size, times, permissions, owner and group, all
// read-only (the values can be selected and copied). It reads the file once, when
// SetFile is called; a file that is gone shows a line saying so.
#pragma once

#include <QDialog>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QShowEvent;

namespace pelidor {

class TOrlaImageButton;

// What the window shows about a file.
struct TFileProperties {
    bool Exists = false;
    QString Name;        // the entry name (replacement characters for bytes not UTF-8)
    QString Folder;      // the folder part, with its trailing separator
    QString Size;        // "1.5 KB (1,536 Bytes)", or "512 Bytes" below 1024
    QString Modified;    // date-time texts as the results list shows them
    QString Created;     // birth time where the file system records it, else status change
    QString Permissions; // "-rw-r--r-- (0644)"
    QString Owner;       // user and group names ("-" when they cannot be told)
    QString Group;
    QString Problem; // why the rest is empty: the file is gone, or the system's reason
};

// Reads the facts about the file at path (a final symbolic link is not followed).
// `missingText` is the line for a file that does not exist.
TFileProperties ReadFileProperties(const std::string& path, const QLocale& locale,
                                   const QString& missingText);

// The type letter and the nine permission letters (with s, S, t and T for the special
// bits) followed by the four octal digits: "-rwsr-xr-x (4755)".
QString PermissionText(uint32_t mode);

class TfrmProperties : public QDialog {
    Q_OBJECT

public:
    explicit TfrmProperties(QWidget* owner = nullptr);
    ~TfrmProperties() override;

    // Reads the file and fills the values (texts of the active language).
    void SetFile(const std::string& path);
    const std::string& FileName() const { return fileName_; }
    const TFileProperties& Properties() const { return props_; }

    // Applies the active language's captions and font. Runs each time it is shown.
    void localize();

    QLabel* lblName = nullptr;
    QLabel* lblFolder = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* lblModified = nullptr;
    QLabel* lblCreated = nullptr;
    QLabel* lblPermissions = nullptr;
    QLabel* lblOwner = nullptr;
    QLabel* lblGroup = nullptr;
    QLineEdit* edName = nullptr;
    QLineEdit* edFolder = nullptr;
    QLineEdit* edSize = nullptr;
    QLineEdit* edModified = nullptr;
    QLineEdit* edCreated = nullptr;
    QLineEdit* edPermissions = nullptr;
    QLineEdit* edOwner = nullptr;
    QLineEdit* edGroup = nullptr;
    QLabel* lblMissing = nullptr; // shown only when the file cannot be read
    TOrlaImageButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fill();
    std::string fileName_;
    TFileProperties props_;
};

// The properties of a file: the file manager's when one takes the request, else the
// program's own window, shown without blocking over `owner` and freed when closed.
// True when the file manager took it.
bool ShowFileProperties(const std::string& path, QWidget* owner);

} // namespace pelidor
