// The list fillers of the settings dialogs.
#include "DialogLists.h"

#include "Settings.h"

#include "ErrorTrap.h"
#include "FileDialog.h"
#include "LineControl.h"
#include "VbError.h"
#include "mdlLog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <cstdio>

namespace {
void fill(QComboBox& list, const QString& pattern, const QString& selection, bool keepExtension,
          const QString& label, mdlLog& log)
{
    ErrorTrap trap(label, [&log](const QString& l) { log.WriteSysLog(l); });
    list.clear();
    const QFileInfo where(pattern);
    trap.step([&] {
        const QStringList files = QDir(where.path()).entryList({where.fileName()}, QDir::Files, QDir::Name);
        for (const QString& file : files)
            list.addItem(keepExtension ? file : file.left(file.size() - 4));
    });
    trap.step([&] {
        if (selection.isEmpty()) {
            if (list.count() > 0)
                list.setCurrentIndex(0);
        } else {
            if (list.count() > 0)
                list.setCurrentIndex(0);
            DialogLists::showText(list, selection);
        }
    });
}
} // namespace

void DialogLists::GreetFilFile(QComboBox& list, const QString& pattern, const QString& selection, mdlLog& log)
{
    fill(list, pattern, selection, false, "ErrGreetFilFile ", log);
}

void DialogLists::FilFile(QComboBox& list, const QString& pattern, const QString& selection, mdlLog& log)
{
    fill(list, pattern, selection, true, "errFilFile ", log);
}

bool DialogLists::FillModemList(LineControl& tapi, QComboBox& list)
{
    list.clear();
    int lines = 0;
    try {
        lines = tapi.NumOfLines();
    } catch (...) {
    }
    for (int i = 0; i < lines; ++i) {
        try {
            LineDevDetails details;
            tapi.LineGetDevDetails(i, details);
            if (details.TapiCapability && details.MediaAutomatedvoice)
                list.addItem(details.DeviceName);
        } catch (...) {
        }
    }
    return list.count() > 0;
}

void DialogLists::FillSoundDeviceList(const WaveControl& wave, QComboBox& list)
{
    list.clear();
    const int32_t count = wave.DeviceCount();
    for (int32_t i = 0; i < count; ++i) {
        kalvo::sound::SoundDeviceCaps caps;
        if (wave.DeviceCaps(i, caps) == 0)
            list.addItem(caps.name);
    }
    if (list.count() > 0)
        list.setCurrentIndex(0);
}

QString DialogLists::BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    return FileDialog::getExistingDirectory(owner, title, startFolder);
}

QString DialogLists::AddSound(QWidget* owner, const QString& soundFolder)
{
    const QString chosen = FileDialog::getOpenFileName(owner, "Add Sound", "wav (*.wav)");
    if (chosen.isEmpty())
        return {};
    const QFileInfo source(chosen);
    const QString name = source.fileName();
    const QString target = soundFolder + name;
    // A sound picked from the folder itself is already there; copying it over itself would lose it.
    if (QFileInfo(target).exists() && source.canonicalFilePath() == QFileInfo(target).canonicalFilePath())
        return name;
    const QString part = target + ".part";
    QFile::remove(part);
    if (!QFile::copy(chosen, part))
        throw kalvo::VbError(source.exists() ? kalvo::VbPathFileAccessError : kalvo::VbFileNotFound);
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(part);
        throw kalvo::VbError(kalvo::VbPathFileAccessError);
    }
    return name;
}

void DialogLists::showText(QComboBox& list, const QString& text)
{
    const int at = list.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0)
        throw kalvo::VbError(kalvo::VbInvalidPropertyValue);
    list.setCurrentIndex(at);
}

void DialogLists::showStored(QLineEdit& field, const QString& value, const QString& placeholder)
{
    field.setText(neverStored(value) ? QString() : value);
    field.setPlaceholderText(placeholder);
    field.setCursorPosition(0);
}

QString DialogLists::storedText(const QLineEdit& field, const QString& stored)
{
    return field.text().isEmpty() && neverStored(stored) ? stored : field.text();
}
