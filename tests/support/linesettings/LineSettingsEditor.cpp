// Opening a line's settings dialog from the options dialog.
#include "LineSettingsEditor.h"

#include "frmOptions.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace kalvo::test {

void editLineSettings(frmMain& form, const QString& dialogName, const std::function<void(QDialog&)>& fill)
{
    frmOptions options(form.dialogHost(), &form);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), dialogName);
        seen = true;
        fill(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    options.findChild<QPushButton*>("cmdLineSettings")->click();
    QVERIFY(seen);
    options.findChild<QPushButton*>("cmdCancel")->click();
}

} // namespace kalvo::test
