// The lines dialog: the lines of the telephony configuration, adding a SIP or a modem line with its
// provider's settings dialog, removing one, and choosing the line Kalvo watches. The file changes at
// once; Cancel puts it back as it was, and the running lines only meet the changes after OK.
#pragma once

#include <QDialog>
#include <string>

class QListWidget;
class QPushButton;

class frmLines : public QDialog
{
    Q_OBJECT

public:
    // watched: the name of the line Kalvo watches now.
    frmLines(const QString& watched, QWidget* parent = nullptr);

    // The line chosen to be watched.
    QString watched() const { return m_watched; }
    // True when the configuration or the watched line differs from what it was at the start.
    bool changed() const;

    void done(int result) override;

private:
    void fillList();
    // Adds a line of provider and shows its settings; a line whose settings are cancelled goes again.
    void addLine(const char* provider, const QString& baseName);
    void lineSettings();
    void removeLine();
    void watchSelected();
    // The selected line's section, false without one.
    bool selected(unsigned& lineNumber, std::string& name, std::string& provider) const;
    bool write(const std::string& text);
    // Runs the provider's settings dialog on line lineNumber. @return true when saved.
    bool settingsOf(unsigned lineNumber);

    std::string m_path;
    std::string m_original;
    QString m_startWatched;
    QString m_watched;
    QListWidget* m_list;
    QPushButton* m_settings;
    QPushButton* m_remove;
    QPushButton* m_watch;
};
