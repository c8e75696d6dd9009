// The line control and the components the main form hosts. Tests hand in their own; a part left
// empty gets the standard one.
#pragma once

#include "WaveControl.h"

#include "CallDatabase.h"
#include "LineControl.h"
#include "MailSender.h"

#include <QObject>
#include <memory>

struct FormParts
{
    std::unique_ptr<LineControl> tapi;
    std::unique_ptr<WaveControl> wave1;
    std::unique_ptr<WaveControl> wavePlay;
    std::unique_ptr<kalvo::CallDatabase> database;
    std::unique_ptr<kalvo::MailSender> mail1;
    // The sound card's devices in the wave device table, kept while the form lives.
    std::unique_ptr<QObject> soundCard;

    // Fills every empty part with the standard one: the loaded line control (a line-less stand-in
    // when it cannot load), the sound component on the sound card, the SQLite call database and
    // the SMTP mail sender.
    static FormParts withStandardParts(FormParts parts);
    // The lines' own settings dialogs, shown through the line control from the options dialog.
    static void installLineDialogs();
};
