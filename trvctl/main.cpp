// trvctl: a command line for one tarvik fiscal cash register, for the people
// who install and support registers and for shell scripts. It talks to the
// register through libtarvik and libmirtel, as any application would.
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "codes.h"
#include "commands.h"
#include "output.h"
#include "session.h"
#include "tables.h"
#include "util.h"

using namespace trvctl;

namespace {

struct Global {
    std::string tcp, serial, usb, modem, dial, modemInit, log, lang = "en", simPaper;
    bool sim = false, json = false, timeoutGiven = false;
    double timeout = 60;
    size_t window = 32;
};

SessionOptions sessionOptions(const Global& g) {
    SessionOptions o;
    if (!g.tcp.empty()) parseTcp(g.tcp, o.target);
    else if (!g.serial.empty()) o.target = Target{.kind = Target::Kind::Serial, .portString = g.serial};
    else if (!g.usb.empty()) o.target = Target{.kind = Target::Kind::Usb, .serial = g.usb};
    else if (!g.modem.empty()) o.target = Target{.kind = Target::Kind::Modem, .portString = g.modem, .dial = g.dial};
    else if (g.sim) o.target.kind = Target::Kind::Sim;
    else if (const char* env = std::getenv("TRVCTL_DEVICE"); env && *env) o.target = parseDevice(env);
    o.target.modemInit = g.modemInit;
    o.log = g.log;
    o.simPaper = g.simPaper;
    o.timeoutMs = static_cast<uint32_t>(g.timeout * 1000);
    if (g.timeoutGiven) o.printTimeoutMs = o.timeoutMs;
    o.window = g.window;
    return o;
}

// The innermost subcommand given on the command line.
CLI::App* innermost(CLI::App* app) {
    for (CLI::App* sub : app->get_subcommands()) return innermost(sub);
    return app;
}

const char* kExitText =
    "Exit status: 0 done; 1 the register or the library reported a failure (its status code and text on "
    "standard error); 2 bad arguments; 3 an import or export left lines or records out.";

}  // namespace

int main(int argc, char** argv) {
    Global g;
    CLI::App app{"trvctl: drive a tarvik fiscal cash register from the shell.", "trvctl"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(std::string("The register: --tcp, --serial, --usb, --modem with --dial, or --sim; without one, "
                           "TRVCTL_DEVICE (tcp:HOST[:PORT], serial:PORTSTRING, usb:SERIAL, modem:PORTSTRING:NUMBER or "
                           "sim).\n") +
               kExitText);

    const std::string conn = "Connection";
    auto* tcp = app.add_option("--tcp", g.tcp, "a register on TCP: HOST[:PORT] (default port 1000)")->group(conn);
    auto* serial = app.add_option("--serial", g.serial, "a register on a serial port: the library's port string, "
                                                        "e.g. /dev/ttyUSB0,19200,8,N,1,N")
                       ->group(conn);
    auto* usb = app.add_option("--usb", g.usb, "a register on an FTDI USB bridge: its serial number")->group(conn);
    auto* modem = app.add_option("--modem", g.modem, "a register behind a Hayes modem on this serial port string")
                      ->group(conn);
    auto* dial = app.add_option("--dial", g.dial, "the number the modem dials (or a whole dial string, ATDT...)")
                     ->group(conn);
    app.add_option("--modem-init", g.modemInit, "the modem's init string")->group(conn)->needs(modem);
    auto* sim = app.add_flag("--sim", g.sim, "start the simulator trvsim on a free loopback port for this command")
                    ->group(conn);
    app.add_option("--sim-paper", g.simPaper, "with --sim: write what the register prints to FILE (- standard output)")
        ->group(conn)
        ->needs(sim);
    tcp->excludes(serial, usb, modem, sim);
    serial->excludes(usb, modem, sim);
    usb->excludes(modem, sim);
    modem->excludes(sim)->needs(dial);
    dial->needs(modem);
    app.add_option("--log", g.log, "write the library's debug log to FILE (frames readable with velsor)")->group(conn);
    auto* timeout = app.add_option("--timeout", g.timeout,
                                   "seconds to wait for each answer (default 60; a printed report 600)")
                        ->group(conn)
                        ->check(CLI::Range(0.1, 86400.0));
    app.add_option("--window", g.window, "requests in flight at once for imports, exports and lists (default 32)")
        ->group(conn)
        ->check(CLI::Range(1, 200));
    const std::string out = "Output";
    app.add_flag("--json", g.json, "one JSON document on standard output, for scripts")->group(out);
    app.add_option("--lang", g.lang, "language of the status texts: en or pl")
        ->group(out)
        ->check(CLI::IsMember({"en", "pl"}));

    // Each command sets what runs once the command line is read.
    std::function<int(Session&)> action;
    std::function<int()> offline;  // commands that need no register

    // ---- status, clock, vat
    app.add_subcommand("status", "register number, status blocks, database status, clock, library versions")
        ->callback([&] { action = cmdStatus; });

    auto* clock = app.add_subcommand("clock", "show the register's clock, or set it");
    clock->callback([&] {
        if (!action) action = cmdClockShow;
    });
    static std::string when;
    clock->add_subcommand("set", "set the clock")
        ->callback([&] {
            if (when != "now" && checkDateTime(when).empty())
                throw CLI::ValidationError("clock set", "'" + when + "' is not \"now\" or a valid \"YYYY-MM-DD HH:MM:SS\"");
            action = [](Session& s) { return cmdClockSet(s, when); };
        })
        ->add_option("WHEN", when, "now, or \"YYYY-MM-DD HH:MM:SS\"")
        ->required();

    auto* vat = app.add_subcommand("vat", "show the VAT rates A to G, or set them");
    vat->callback([&] {
        if (!action) action = cmdVatShow;
    });
    static std::vector<std::string> rates;
    static std::string vatFrom;
    static bool vatYes = false;
    auto* vatSet = vat->add_subcommand(
        "set", "set VAT rates: LETTER=RATE for each rate that changes (23, 8.5, exempt, unused); the others keep "
               "their values. The register writes each change to its fiscal memory, which holds a limited number "
               "of them: give --yes.");
    vatSet->add_option("RATES", rates, "LETTER=RATE ...")->required();
    vatSet->add_option("--from", vatFrom, "the rates apply from \"YYYY-MM-DD HH:MM:SS\" (default now)");
    vatSet->add_flag("--yes", vatYes, "yes, write the change to the fiscal memory");
    vatSet->callback([&] {
        try {
            parseVatRates(rates);
            if (!vatFrom.empty() && checkDateTime(vatFrom).empty())
                throw UsageError("--from: '" + vatFrom + "' is not a valid \"YYYY-MM-DD HH:MM:SS\"");
        } catch (const UsageError& e) {
            throw CLI::ValidationError("vat set", e.what());
        }
        if (!vatYes) throw CLI::ValidationError("vat set", "a VAT change is written to the fiscal memory: give --yes");
        action = [](Session& s) { return cmdVatSet(s, rates, vatFrom); };
    });

    // ---- journal, fiscal memory, reports
    app.add_subcommand("journal", "read the sale journal, every record decoded into named fields")
        ->footer("Records are read from the first on, pipelined, until the register says none follows; reading "
                 "does not remove them. The record types (the register's codes) and the reader used for each:\n" +
                 journalTypes().describe() +
                 "A type not in this list is shown with its type and no fields. With --json: {\"records\": [{typ, "
                 "type_name, pelny, nastepny, fields: {...}}, ...]}.")
        ->callback([&] { action = cmdJournal; });

    static unsigned fmFrom = 0, fmTo = 0, fmType = 0;
    auto* fm = app.add_subcommand("fiscal-memory", "read the fiscal memory: its status and every record by type");
    fm->add_option("--from", fmFrom, "first record number (default 1)");
    fm->add_option("--to", fmTo, "last record number (default the last record)");
    fm->add_option("--type", fmType, "only records of this type");
    fm->footer("Record types (the register's codes) and their readers:\n" + fiscalMemoryTypes().describe());
    fm->callback([&] { action = [](Session& s) { return cmdFiscalMemory(s, fmFrom, fmTo, fmType); }; });

    static std::string reportName;
    static std::vector<std::string> selectors;
    static bool reportListWanted = false;
    auto* report = app.add_subcommand("report", "make the register print a report");
    report->add_option("NAME", reportName, "the report: TRVS_RepPLUByRecNo, RepPLUByRecNo or PLUByRecNo (any case)");
    report->add_option("SELECTORS", selectors, "its selectors in order, or NAME=VALUE");
    report->add_flag("--list", reportListWanted, "list the reports and their selectors");
    report->footer("Reports and their selectors:\n" + reportList());
    report->callback([&] {
        if (reportListWanted) {
            offline = [] {
                std::cout << reportList();
                return kExitOk;
            };
            return;
        }
        if (reportName.empty()) throw CLI::RequiredError("NAME");
        action = [](Session& s) { return cmdReport(s, reportName, selectors); };
    });

    // ---- header and footer
    static std::string headerFile, footerFile;
    for (bool isHeader : {true, false}) {
        auto* sc = app.add_subcommand(isHeader ? "header" : "footer",
                                      isHeader ? "show the receipt header, or set it from a file"
                                               : "show the receipt footer, or set it from a file");
        sc->callback([&, isHeader] {
            if (!action) action = [isHeader](Session& s) { return cmdLinesShow(s, isHeader); };
        });
        sc->add_subcommand("set", std::string("set the ") + (isHeader ? "header (at most 10 lines)" : "footer (at most 3 lines)") +
                                      " from FILE: one printed line per line, optionally FLAG<tab>TEXT with the "
                                      "line's flag (default 0)")
            ->callback([&, isHeader] {
                action = [isHeader](Session& s) { return cmdLinesSet(s, isHeader, isHeader ? headerFile : footerFile); };
            })
            ->add_option("FILE", isHeader ? headerFile : footerFile, "the file; - is standard input")
            ->required();
    }

    // ---- any function
    static std::string function, callPattern;
    static std::vector<std::string> callArgs, readers;
    static bool callListWanted = false;
    auto* call = app.add_subcommand("call", "call any TRVS_ function of libmirtel with text arguments, wait for the "
                                            "answer and print its outputs by name");
    call->add_option("FUNCTION", function, "e.g. TRVS_PLURead");
    call->add_option("ARGS", callArgs, "its arguments in order (numbers, texts; lists with line feeds)");
    call->add_option("--reader", readers, "read the answer with this TRVG_ function (a type reader, then a body "
                                          "reader); default: the reader of the same name");
    call->add_flag("--list", callListWanted, "list the functions (those containing FUNCTION, when given)");
    call->footer("The answer is read with the TRVG_ function of the same name, or the only reader of the command; "
                 "the sale journal, fiscal memory records and hotkeys with their type reader and the body reader of "
                 "the type. Without a reader only success is reported.");
    call->callback([&] {
        if (callListWanted) {
            offline = [] {
                std::cout << callList(function);
                return kExitOk;
            };
            return;
        }
        if (function.empty()) throw CLI::RequiredError("FUNCTION");
        action = [](Session& s) { return cmdCall(s, function, callArgs, readers); };
    });

    // ---- the tables, all in one shape
    static TableOptions topt;
    static std::string tkey, tcode;
    static std::vector<std::string> assignments;
    static bool noOverwrite = false;
    for (const Table& t : tables()) {
        auto* sc = app.add_subcommand(t.name, t.title);
        sc->alias(t.alias);
        sc->require_subcommand(1);
        const Table* tp = &t;
        auto range = [&](CLI::App* a) {
            a->add_option("--from", topt.from, "first record number (default " + std::to_string(t.first) + ")");
            a->add_option("--to", topt.to, "last record number (default " + std::to_string(t.last) + ")");
        };
        auto* list = sc->add_subcommand("list", "list the records");
        range(list);
        list->callback([&, tp] { action = [tp](Session& s) { return tableList(s, *tp, topt); }; });

        sc->add_subcommand("get", "show one record")
            ->callback([&, tp] { action = [tp](Session& s) { return tableGet(s, *tp, tkey); }; })
            ->add_option("NUMBER", tkey, "the record number")
            ->required();
        if (!t.find.empty())
            sc->add_subcommand("find", "show the record with this barcode")
                ->callback([&, tp] { action = [tp](Session& s) { return tableFind(s, *tp, tcode); }; })
                ->add_option("BARCODE", tcode, "primary or additional barcode")
                ->required();

        auto* set = sc->add_subcommand("set", "write one record: the fields named change, the others keep their "
                                              "values (0 or empty in a new record)");
        set->add_option("NUMBER", tkey, "the record number")->required();
        set->add_option("FIELDS", assignments, "FIELD=VALUE ...")->required();
        set->add_flag("--force", topt.force, "overwrite even a record with non-zero totals");
        set->footer("Fields (the CSV columns):\n" + describeColumns(t));
        set->callback([&, tp] { action = [tp](Session& s) { return tableSet(s, *tp, tkey, assignments, topt); }; });

        auto* del = sc->add_subcommand("delete", "delete one record");
        del->add_option("NUMBER", tkey, "the record number")->required();
        if (!t.delFlags.empty()) {
            del->add_flag("--force", topt.force, "also with non-zero totals");
            del->add_flag("--related", topt.related, "with related records (as the register defines them)");
        }
        del->callback([&, tp] { action = [tp](Session& s) { return tableDelete(s, *tp, tkey, topt); }; });

        auto* ex = sc->add_subcommand("export", "write every record to a CSV file");
        ex->add_option("FILE", topt.file, "the CSV file; - is standard output")->required();
        range(ex);
        ex->footer("Columns (the insert function's arguments):\n" + describeColumns(t));
        ex->callback([&, tp] { action = [tp](Session& s) { return tableExport(s, *tp, topt); }; });

        auto* im = sc->add_subcommand(
            "import", "write the records of a CSV file; every line is checked first, bad lines are reported with "
                      "their line number and not sent, and the lines the register did not confirm are written to "
                      "a rejects file with the status text");
        im->add_option("FILE", topt.file, "the CSV file (a header line naming the columns); - is standard input")
            ->required();
        im->add_option("--rejects", topt.rejects, "the rejects file (default FILE.rejects.csv, without .csv)");
        im->add_flag("--no-overwrite", noOverwrite, "refuse lines whose record exists");
        im->add_flag("--force", topt.force, "overwrite even records with non-zero totals");
        im->footer("Columns (the insert function's arguments):\n" + describeColumns(t) +
                   "A rejects file can be imported again once corrected (its first two columns are passed over).\n" +
                   kExitText);
        im->callback([&, tp] {
            topt.overwrite = !noOverwrite;
            action = [tp](Session& s) { return tableImport(s, *tp, topt); };
        });
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "trvctl: " << e.what() << "\n\n" << innermost(&app)->help();
        return kExitUsage;
    }

    g.timeoutGiven = timeout->count() > 0;
    setJsonOutput(g.json);
    setLanguage(g.lang);
    try {
        if (offline) return offline();
        Session session(sessionOptions(g));
        return action(session);
    } catch (const UsageError& e) {
        std::cerr << "trvctl: " << e.what() << "\n";
        if (e.withHelp()) std::cerr << "\n" << innermost(&app)->help();
        return kExitUsage;
    } catch (const Failure& e) {
        std::cerr << "trvctl: " << e.what() << ": " << describeStatus(e.status()) << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "trvctl: " << e.what() << "\n";
        return kExitFailure;
    }
}
