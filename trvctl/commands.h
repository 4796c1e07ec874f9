// The commands of trvctl that are not tables. Each returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace trvctl {

class Session;

int cmdStatus(Session& s);
int cmdClockShow(Session& s);
int cmdClockSet(Session& s, const std::string& when);
int cmdVatShow(Session& s);
// LETTER=RATE arguments as (index 0-6, hundredths of a percent); throws UsageError.
std::vector<std::pair<unsigned, unsigned>> parseVatRates(const std::vector<std::string>& rates);
int cmdVatSet(Session& s, const std::vector<std::string>& rates, const std::string& from);
int cmdJournal(Session& s);
int cmdFiscalMemory(Session& s, unsigned from, unsigned to, unsigned type);
int cmdReport(Session& s, const std::string& name, const std::vector<std::string>& selectors);
std::string reportList();
int cmdLinesShow(Session& s, bool header);
int cmdLinesSet(Session& s, bool header, const std::string& file);
int cmdCall(Session& s, const std::string& function, const std::vector<std::string>& args,
            const std::vector<std::string>& readers);
std::string callList(const std::string& pattern);

// "YYYY-MM-DD HH:MM:SS" when the text is a valid date and time, else "".
std::string checkDateTime(const std::string& text);

}  // namespace trvctl
