#pragma once
// The probe's checks, one function per subject; each reports one line per assumption.
#include "Report.h"

#include <string>

namespace frameworkprobe {

void checkLayout(Report& report, const std::string& spiPath);
void checkSpiConfiguration(Report& report, const std::string& spiPath);
void checkBoardMutexRecursive(Report& report);
void checkBoardMutexRobust(Report& report);
void checkUnregisterWaits(Report& report);
void checkWordFromNotification(Report& report);
// Not counted: a figure of the framework's, which the board cannot change.
void checkWordBesideWriteStorm(Report& report);
// The figures the plug-in was compiled with, as LayoutAsserts.cpp checks them.
void printLayoutFigures();

} // namespace frameworkprobe
