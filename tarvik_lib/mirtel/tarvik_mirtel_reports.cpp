// The irregular report commands: the ones whose dates are optional, cut
// short or checked together before anything is sent. The regular ones are
// entries of tarvik_mirtel_reports.cmds.
#include <cstring>
#include <string>

#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

TARVIK_STATUS hand::TRVS_RepPLUByNameRange(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char identyfikator, const unsigned char typ_raportu,
                                           const unsigned char zakres_raportu, const char* nazwa_pocz,
                                           const char* nazwa_koncowa, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::RepPLUByNameRange, tryb);
    c.byte(identyfikator).byte(typ_raportu).byte(zakres_raportu);
    if (!nazwa_pocz) return c.fail(argCode(6)).post();
    if (!nazwa_koncowa) return c.fail(argCode(7)).post();
    return c.string(nazwa_pocz).string(nazwa_koncowa).post();
}

TARVIK_STATUS hand::TRVS_RepFskDaily(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned char czy_z_data, const char* date_time,
                                     const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::RepFskDaily, tryb);
    c.skipArgument();  // czy_z_data only says whether the date goes out
    if (czy_z_data) c.dateTimeMin(date_time);
    return c.post();
}

TARVIK_STATUS hand::TRVS_RepFskPeriodByDate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const char* data_od, const char* data_do,
                                            const unsigned char czy_podsumowania, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::RepFskPeriodByDate, tryb);
    if (!data_od) return c.fail(argCode(3)).post();
    if (!data_do) return c.fail(argCode(4)).post();
    return c.date(data_od).date(data_do).byte(czy_podsumowania).post();
}

TARVIK_STATUS hand::TRVS_RepFskMonthly(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data,
                                       const unsigned char czy_podsumowania, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::RepFskMonthly, tryb);
    if (!data) return c.fail(argCode(3)).post();
    // A month alone ("YYYY-MM") is read as its first day; only the month
    // and the year go out.
    std::string date = data;
    if (date.size() <= 7) date += "-01";
    unsigned char day = 0, month = 0;
    unsigned short year = 0;
    if (!ParseDate(date.c_str(), day, month, year)) return c.fail(argCode(3)).post();
    return c.withCode(argCode(3)).byte(month).withCode(argCode(3)).word(year)
        .withCode(argCode(4)).byte(czy_podsumowania).post();
}

}  // namespace mirtel
