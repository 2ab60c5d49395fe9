// orxflash history: the attempts recorded in the results database, newest
// first, and a summary per superfile, day and command.
#pragma once

#include <string>

#include "ResultsDb.h"

namespace CLI {
class App;
}

struct HistoryOptions {
    std::string dbPath = orxresults::kDefaultDbFile;
    std::string since;  // taken as text, so a bad value is refused with exit status 2
    std::string port;
    std::string limit;
    bool csv = false;
    bool json = false;
    bool summary = false;
};

void AddHistoryCommand(CLI::App& app, HistoryOptions& options);
// 0 printed; 1 no database yet; 2 a bad option value; 3 the database cannot be read.
int RunHistoryCommand(const HistoryOptions& options);
