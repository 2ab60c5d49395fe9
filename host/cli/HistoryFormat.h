// How orxflash history prints attempts and summaries: a readable table, CSV
// (RFC 4180, one header line) or JSON lines. The CSV columns and JSON fields
// carry the database's column names, listed in the README.
#pragma once

#include <cstdio>
#include <vector>

#include "Attempt.h"

void PrintAttemptTable(std::FILE* out, const std::vector<orxresults::Attempt>& attempts);
void PrintSummaryTable(std::FILE* out, const std::vector<orxresults::SummaryRow>& rows);
void PrintAttemptCsv(std::FILE* out, const std::vector<orxresults::Attempt>& attempts);
void PrintSummaryCsv(std::FILE* out, const std::vector<orxresults::SummaryRow>& rows);
void PrintAttemptJson(std::FILE* out, const std::vector<orxresults::Attempt>& attempts);
void PrintSummaryJson(std::FILE* out, const std::vector<orxresults::SummaryRow>& rows);
