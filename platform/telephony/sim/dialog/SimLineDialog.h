// The settings dialog of a simulated line: what the line is set up with; its scenario is changed in
// the configuration file.
#pragma once

#include "LineProvider.h"

#include <QDialog>

namespace kalvo::sim {

class SimLineDialog : public QDialog
{
    Q_OBJECT

public:
    SimLineDialog(const kalvo::telephony::LineConfig& line, const std::string& configPath,
                  QWidget* parent = nullptr);
};

} // namespace kalvo::sim
