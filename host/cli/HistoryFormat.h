// How orxflash history prints attempts and summaries: a readable table, CSV
// (RFC 4180, one header line) or JSON lines. The CSV columns and JSON fields
// carry the database's column names, listed in the README.
#pragma once

#include <cstdio>
#include <vector>

#include "Attempt.h"

enum class HistoryStyle { Table, Csv, Json };

// Prints attempts one at a time as they are read, so that printing a history
// of millions of rows holds one: the header before the first, and for the
// table "No attempts recorded." at the end when there was none.
class AttemptPrinter {
  public:
    AttemptPrinter(std::FILE* out, HistoryStyle style) : out(out), style(style) {}
    void Print(const orxresults::Attempt& attempt);
    void End();

  private:
    std::FILE* out;
    HistoryStyle style;
    bool any = false;
};

void PrintSummary(std::FILE* out, HistoryStyle style,
                  const std::vector<orxresults::SummaryRow>& rows);
