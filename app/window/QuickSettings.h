// The quick settings on the main form that the call flow reads: record a message (chkRecMessage),
// rings before answering (cmbRings) and the default greeting (cmbDefGreet). Each change is written
// to the settings key at once and takes effect with the next call.
#pragma once

#include <QObject>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QWidget;
struct Settings;

class QuickSettings : public QObject
{
    Q_OBJECT

public:
    // The three controls and the rings label are created here as children of parent.
    QuickSettings(Settings& settings, const QString& programFolder, QWidget* parent);

    QCheckBox* chkRecMessage() const { return m_record; }
    QComboBox* cmbRings() const { return m_rings; }
    QComboBox* cmbDefGreet() const { return m_greeting; }
    QLabel* ringsLabel() const { return m_ringsLabel; }

    // Refills the greeting list, selecting this name (the first greeting when empty); nothing is
    // written.
    void refillGreetings(const QString& selection);
    // Sets the record check box; nothing is written.
    void showRecordMessage(bool on);

    // Shows the settings in the controls: the ring threshold, the greetings of "Greets/" with the
    // configured one selected, and the record flag.
    void showSettings();

    // The greeting names (file names without ".wav") of a folder, in name order.
    static QStringList GreetFilFile(const QString& greetsFolder);

private:
    void recordChanged(bool checked);
    void ringsChanged(const QString& text);
    void greetingChanged(const QString& name);

    Settings& m_settings;
    QString m_programFolder;
    QCheckBox* m_record;
    QComboBox* m_rings;
    QComboBox* m_greeting;
    QLabel* m_ringsLabel;
    bool m_showing = false;
};
