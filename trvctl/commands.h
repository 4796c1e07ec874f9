// The commands of trvctl that are not tables. Each returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace trvctl {

class Session;

int cmdStatus(Session& s);
int cmdPing(Session& s);
int cmdClockShow(Session& s);
// Setting the clock back needs `yes` (or a person's answer).
int cmdClockSet(Session& s, const std::string& when, bool yes);
int cmdVatShow(Session& s);
// LETTER=RATE arguments as (index 0-6, hundredths of a percent); throws UsageError.
std::vector<std::pair<unsigned, unsigned>> parseVatRates(const std::vector<std::string>& rates);
// Reads the rates first: nothing is written when none changes; a change
// needs `yes` (it is written to the fiscal memory).
int cmdVatSet(Session& s, const std::vector<std::string>& rates, const std::string& from, bool yes);
int cmdJournal(Session& s);
int cmdFiscalMemory(Session& s, unsigned from, unsigned to, unsigned type);
// The daily fiscal report needs `yes`.
int cmdReport(Session& s, const std::string& name, const std::vector<std::string>& selectors, bool yes);
std::string reportList();
int cmdLinesShow(Session& s, bool header);
int cmdLinesSet(Session& s, bool header, const std::string& file);
int cmdCall(Session& s, const std::string& function, const std::vector<std::string>& args,
            const std::vector<std::string>& readers);
std::string callList(const std::string& pattern);

// "YYYY-MM-DD HH:MM:SS" when the text is a valid date and time, else "".
std::string checkDateTime(const std::string& text);

}  // namespace trvctl
