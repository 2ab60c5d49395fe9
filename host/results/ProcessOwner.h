// Which process wrote a running row: "HOST PID START", START being the
// process's start time in clock ticks since boot, so a reused process number
// is not taken for the writer.
#pragma once

#include <string>

namespace orxresults {

std::string ThisProcessOwner();
// True when the owner is a process of this host that still runs. Rows of
// another host cannot be live: SQLite's write-ahead log works on one host only.
bool OwnerRuns(const std::string& owner);
// The host's name, as attempts name their station.
std::string HostName();

}  // namespace orxresults
