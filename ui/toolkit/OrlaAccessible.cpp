// The toolkit's painted controls as assistive technology sees them: the progress bar is
// a progress bar with its value, a message text is a label with its text, and a panel
// that serves as a colour swatch is a button that can be pressed.
#include "ui/toolkit/OrlaAccessible.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include "ui/toolkit/OrlaControls.h"

namespace pelidor {
namespace {

class ProgressBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressBarAccessible(TOrlaProgressBar* Bar)
        : QAccessibleWidget(Bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType Type) override {
        if (Type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(Type);
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    TOrlaProgressBar* bar() const { return static_cast<TOrlaProgressBar*>(widget()); }
};

class SwatchAccessible : public QAccessibleWidget {
public:
    explicit SwatchAccessible(TOrlaPanel* Panel) : QAccessibleWidget(Panel, QAccessible::Button) {
        addControllingSignal(QStringLiteral("pressed()"));
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& Name) override {
        if (Name == pressAction())
            QMetaObject::invokeMethod(widget(), "pressed", Qt::QueuedConnection);
    }
};

QAccessibleInterface* orlaFactory(const QString& ClassName, QObject* Object) {
    if (Object == nullptr || !Object->isWidgetType())
        return nullptr;
    if (ClassName == QLatin1String("pelidor::TOrlaProgressBar"))
        return new ProgressBarAccessible(static_cast<TOrlaProgressBar*>(Object));
    // A panel with a name of its own is a swatch the user presses.
    if (ClassName == QLatin1String("pelidor::TOrlaPanel") &&
        !static_cast<QWidget*>(Object)->accessibleName().isEmpty())
        return new SwatchAccessible(static_cast<TOrlaPanel*>(Object));
    return nullptr;
}

} // namespace

void InstallOrlaAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(orlaFactory);
        return true;
    }();
    (void)installed;
}

} // namespace pelidor
