// The version every about box and report shows.
#pragma once

#include <QString>

inline const QString kProgramVersion = QStringLiteral("1.0.0.22");
