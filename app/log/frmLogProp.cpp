// The log properties dialog.
#include "frmLogProp.h"

#include "PlainDialog.h"
#include "SettingsLoader.h"
#include "SettingsWriter.h"
#include "mdlLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QCheckBox* checkBox(const QString& text, const char* name, bool on, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setAccessibleName(text);
    box->setChecked(on);
    return box;
}
} // namespace

frmLogProp::frmLogProp(mdlLog& log, std::function<void()> applyRetention, QWidget* parent)
    : QDialog(parent), m_log(log), m_applyRetention(std::move(applyRetention)),
      m_stored(SettingsLoader::GetLogProperties()),
      m_logCalls(checkBox("Log Calls", "chkLogCalls", m_stored.cLogCalls != 0, this)),
      m_logSys(checkBox("Log System", "chkLogSys", m_stored.cLogSys != 0, this)),
      m_logFor(new QComboBox(this)), m_wornBeforeDelete(checkBox("Worn before delete", "chkWornBeforeDelete",
                                                                 m_stored.cWornBeforeDelete != 0, this))
{
    setObjectName("frmLogProp");
    makePlainDialog(*this);
    setWindowTitle("Log Properties");
    setModal(true);
    m_logFor->setObjectName("cmbLogFor");
    m_logFor->setAccessibleName("Log For");
    m_logFor->addItems({"1 Last Month", "2 Last Month", "3 Last Month", "For Ever!"});
    m_logFor->setCurrentIndex(m_logFor->findText(m_stored.LogFor));
    auto* logForLabel = new QLabel("Log For:", this);
    logForLabel->setObjectName("lblLogFor");
    logForLabel->setBuddy(m_logFor);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setAccessibleName("OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancel");
    cancel->setAccessibleName("Cancel");

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_logCalls, 0, 0, 1, 2);
    grid->addWidget(m_logSys, 1, 0, 1, 2);
    grid->addWidget(logForLabel, 2, 0);
    grid->addWidget(m_logFor, 2, 1);
    grid->addWidget(m_wornBeforeDelete, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 4, 0, 1, 2);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));

    connect(ok, &QPushButton::clicked, this, &frmLogProp::cmdOKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmLogProp::cmdOKClick()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    LogPropertiesInput in;
    in.cLogCalls = m_logCalls->isChecked();
    in.cLogSys = m_logSys->isChecked();
    in.cWornBeforeDelete = m_wornBeforeDelete->isChecked();
    in.LogFor = m_logFor->currentText();
    SettingsWriter::PutLogProperties(in);
    m_log.setCallsSwitch(in.cLogCalls ? 1 : 0);
    m_log.setSystemSwitch(in.cLogSys ? 1 : 0);
    if (m_applyRetention)
        m_applyRetention();
    QGuiApplication::restoreOverrideCursor();
    accept();
}
