// For tests of the logging facility only: puts the process-wide state back to its start
// (uninitialised, no modules, first write pending). Call it when no other thread reports.
#pragma once

namespace KivLog {

void ResetForTest();

}  // namespace KivLog
