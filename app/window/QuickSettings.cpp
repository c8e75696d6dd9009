// The quick settings of the main form.
#include "QuickSettings.h"

#include "Settings.h"
#include "SettingsWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QSignalBlocker>

QuickSettings::QuickSettings(Settings& settings, const QString& programFolder, QWidget* parent)
    : QObject(parent), m_settings(settings), m_programFolder(programFolder),
      m_record(new QCheckBox("Record Message", parent)), m_rings(new QComboBox(parent)),
      m_greeting(new QComboBox(parent)), m_ringsLabel(new QLabel("Rings:", parent))
{
    m_record->setObjectName("chkRecMessage");
    m_rings->setObjectName("cmbRings");
    m_rings->setToolTip("Number of rings before response");
    m_rings->setAccessibleName("Number of rings before response");
    m_greeting->setObjectName("cmbDefGreet");
    m_greeting->setAccessibleName("Default greeting");
    m_greeting->setToolTip("Default greeting");
    m_ringsLabel->setObjectName("lblRings");
    m_ringsLabel->setBuddy(m_rings);
    for (int i = 1; i <= 20; ++i)
        m_rings->addItem(QString::number(i));
    connect(m_record, &QCheckBox::toggled, this, &QuickSettings::recordChanged);
    connect(m_rings, &QComboBox::currentTextChanged, this, &QuickSettings::ringsChanged);
    connect(m_greeting, &QComboBox::currentTextChanged, this, &QuickSettings::greetingChanged);
}

void QuickSettings::showSettings()
{
    // Showing the settings is not a change by the user: nothing is written meanwhile.
    m_showing = true;
    m_rings->setCurrentIndex(m_rings->findText(QString::number(m_settings.options.NumOfRing)));
    m_greeting->clear();
    m_greeting->addItems(GreetFilFile(m_programFolder + "/Greets/"));
    const int configured = m_greeting->findText(m_settings.options.Greeting);
    m_greeting->setCurrentIndex(configured);
    m_record->setChecked(m_settings.engine.RecordMessage);
    m_showing = false;
    // A greeting setting that names no file falls back to the first greeting, chosen as by a click,
    // so the engine plays a greeting that exists.
    if (configured < 0 && m_greeting->count() > 0)
        m_greeting->setCurrentIndex(0);
}

void QuickSettings::refillGreetings(const QString& selection)
{
    const QSignalBlocker quiet(m_greeting);
    m_greeting->clear();
    m_greeting->addItems(GreetFilFile(m_programFolder + "/Greets/"));
    m_greeting->setCurrentIndex(selection.isEmpty() ? 0 : m_greeting->findText(selection));
}

void QuickSettings::showRecordMessage(bool on)
{
    const QSignalBlocker quiet(m_record);
    m_record->setChecked(on);
}

QStringList QuickSettings::GreetFilFile(const QString& greetsFolder)
{
    QStringList names;
    const QStringList files = QDir(greetsFolder).entryList({"*.wav"}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        names << file.left(file.size() - 4);
    return names;
}

void QuickSettings::recordChanged(bool checked)
{
    if (m_showing)
        return;
    SettingsWriter(m_settings).PutRecordMessage(checked);
}

void QuickSettings::ringsChanged(const QString& text)
{
    if (m_showing || text.isEmpty())
        return;
    SettingsWriter(m_settings).PutNumOfRing(text);
}

void QuickSettings::greetingChanged(const QString& name)
{
    if (m_showing || name.isEmpty())
        return;
    SettingsWriter(m_settings).PutGreeting(name);
}
