// The settings dialog for assistive technology: every field is linked to the label in
// front of it and named by it; a control without a label of its own (the lists of a
// page, the picture button, the colour swatches) is named by its page, hint or label.
#include "ui/settings/uDFSettings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/toolkit/OrlaCheckListBox.h"
#include "ui/toolkit/OrlaControls.h"

namespace pelidor {

void NameSettingsControls(TfrmDFSettings& Form, const QString& FolderPage) {
    const auto named = [](QWidget* Control, QLabel* Label, const QString& Suffix = QString()) {
        if (Suffix.isEmpty())
            Label->setBuddy(Control);
        QString name = Label->text();
        while (name.endsWith(u':') || name.endsWith(QChar(0xFF1A)) || name.endsWith(u' '))
            name.chop(1);
        Control->setAccessibleName(Suffix.isEmpty() ? name : name + u' ' + Suffix);
    };
    named(Form.edtmin, Form.lblMinimize);
    named(Form.cbbSize, Form.lblMinimize, Form.cbbSize->currentText());
    named(Form.edmax, Form.lblMaxmize);
    named(Form.cbbSize1, Form.lblMaxmize, Form.cbbSize1->currentText());
    named(Form.lstInclude, Form.lblIncludes);
    named(Form.lstExclude, Form.lblExclude);
    named(Form.lstReference, Form.lblReference);
    named(Form.edPath, Form.lblBackup);
    named(Form.cbbUpdates, Form.lblCheckupdate);
    named(Form.shp4, Form.lblColor, QStringLiteral("1"));
    named(Form.shp1, Form.lblColor, QStringLiteral("2"));
    Form.lstpath->setAccessibleName(FolderPage);
    Form.btnFolder->setAccessibleName(
        Form.btnFolder->toolTip().isEmpty() ? Form.btnFolder->text() : Form.btnFolder->toolTip());
}

} // namespace pelidor
