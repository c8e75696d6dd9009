// The log properties dialog.
#include "frmLogProp.h"

#include "VbConvert.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QString stored(const char* name)
{
    return mdlReg::GetRegString(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name);
}

void store(const char* name, const QString& value)
{
    mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, value);
}

// A stored flag as a number; what does not convert counts as off.
bool storedOn(const char* name)
{
    try {
        return VbConvert::toInt16(stored(name)) != 0;
    } catch (...) {
        return false;
    }
}

QCheckBox* checkBox(const QString& text, const char* name, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setAccessibleName(text);
    box->setChecked(storedOn(name == QLatin1String("chkLogCalls") ? "cLogCalls"
                             : name == QLatin1String("chkLogSys") ? "cLogSys"
                                                                  : "cWornBeforeDelete"));
    return box;
}
} // namespace

frmLogProp::frmLogProp(mdlLog& log, std::function<void()> applyRetention, QWidget* parent)
    : QDialog(parent), m_log(log), m_applyRetention(std::move(applyRetention)),
      m_logCalls(checkBox("Log Calls", "chkLogCalls", this)),
      m_logSys(checkBox("Log System", "chkLogSys", this)), m_logFor(new QComboBox(this)),
      m_wornBeforeDelete(checkBox("Worn before delete", "chkWornBeforeDelete", this))
{
    setObjectName("frmLogProp");
    setWindowTitle("Log Properties");
    setModal(true);
    m_logFor->setObjectName("cmbLogFor");
    m_logFor->setAccessibleName("Log For");
    m_logFor->addItems({"1 Last Month", "2 Last Month", "3 Last Month", "For Ever!"});
    m_logFor->setCurrentIndex(m_logFor->findText(stored("LogFor")));
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
    const int16_t calls = m_logCalls->isChecked() ? 1 : 0;
    store("cLogCalls", QString::number(calls));
    m_log.setCallsSwitch(calls);
    const int16_t sys = m_logSys->isChecked() ? 1 : 0;
    store("cLogSys", QString::number(sys));
    m_log.setSystemSwitch(sys);
    store("cWornBeforeDelete", m_wornBeforeDelete->isChecked() ? "1" : "0");
    store("LogFor", m_logFor->currentText());
    if (m_applyRetention)
        m_applyRetention();
    QGuiApplication::restoreOverrideCursor();
    accept();
}
