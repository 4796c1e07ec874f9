// trvctl: a command line for one tarvik fiscal cash register, for the people
// who install and support registers and for shell scripts. It talks to the
// register through libtarvik and libmirtel, as any application would.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <set>

#include <CLI/CLI.hpp>

#include "charset.h"
#include "codes.h"
#include "commands.h"
#include "csv.h"
#include "output.h"
#include "session.h"
#include "tables.h"
#include "util.h"
#include "tarvik/mirtel.h"

using namespace trvctl;

namespace {

struct Global {
    std::string tcp, serial, usb, modem, dial, modemInit, log, lang = "en", simPaper, charset;
    bool sim = false, json = false, quiet = false;
    double timeout = 60;
    size_t window = 32;
};

// A probe answers quickly or not at all.
constexpr double kProbeTimeout = 2;

SessionOptions sessionOptions(const Global& g, bool timeoutGiven, bool probe) {
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
    const double t = timeoutGiven || !probe ? g.timeout : kProbeTimeout;
    o.timeoutMs = static_cast<uint32_t>(t * 1000);
    if (timeoutGiven) o.printTimeoutMs = o.timeoutMs;
    o.window = g.window;
    return o;
}

// The innermost subcommand given on the command line.
CLI::App* innermost(CLI::App* app) {
    for (CLI::App* sub : app->get_subcommands()) return innermost(sub);
    return app;
}

// "articles import", for messages.
std::string path(CLI::App* app) {
    std::string out;
    for (CLI::App* a = app; a && a->get_parent(); a = a->get_parent()) out = a->get_name() + (out.empty() ? "" : " ") + out;
    return out;
}

std::vector<CLI::App*> subcommandsOf(CLI::App* app) {
    return app->get_subcommands([](CLI::App* a) { return !a->get_name().empty(); });
}

CLI::App* subcommandNamed(CLI::App* app, const std::string& name) {
    for (CLI::App* s : subcommandsOf(app))
        if (s->check_name(name)) return s;
    return nullptr;
}

// The first word on the command line that stands where a subcommand of `at`
// would, passing over options and their values; "" when there is none.
std::string firstWordAfter(CLI::App* app, CLI::App* at, int argc, char** argv) {
    CLI::App* cur = app;
    for (int i = 1; i < argc; ++i) {
        const std::string tok = argv[i];
        if (tok.rfind("-", 0) == 0) {
            if (tok.find('=') != std::string::npos) continue;
            for (CLI::App* a = cur; a; a = a->get_parent()) {
                const CLI::Option* o = a->get_option_no_throw(tok);
                if (o) {
                    if (o->get_type_size() != 0) ++i;  // its value
                    break;
                }
            }
            continue;
        }
        if (cur == at) return tok;
        CLI::App* s = subcommandNamed(cur, tok);
        if (!s) return "";
        cur = s;
    }
    return "";
}

// Completion: the words that may follow `words` (the last one is the word
// being typed), one per line.
void complete(CLI::App* app, const std::vector<std::string>& words) {
    CLI::App* at = app;
    const std::string partial = words.empty() ? "" : words.back();
    size_t positional = 0;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (CLI::App* s = words[i].rfind("-", 0) == 0 ? nullptr : subcommandNamed(at, words[i])) {
            at = s;
            positional = 0;
        } else if (words[i].rfind("-", 0) != 0) {
            ++positional;
        }
    }
    std::vector<std::string> out;
    for (CLI::App* s : subcommandsOf(at))
        if (s->get_group() != "") out.push_back(s->get_name());
    for (const CLI::Option* o : at->get_options())
        for (const std::string& n : o->get_lnames()) out.push_back("--" + n);
    for (CLI::App* a = at->get_parent(); a; a = a->get_parent())
        for (const CLI::Option* o : a->get_options())
            for (const std::string& n : o->get_lnames()) out.push_back("--" + n);
    // The fields of a table after `set NUMBER`.
    if (at->get_name() == "set" && at->get_parent() && positional >= 1)
        for (const Table& t : tables())
            if (at->get_parent()->get_name() == t.name)
                for (const std::string& c : csvColumns(t))
                    if (c != "numer_rekordu") out.push_back(c + "=");
    std::set<std::string> seen;
    for (const std::string& w : out)
        if (w.rfind(partial, 0) == 0 && seen.insert(w).second) std::cout << w << "\n";
}

const char* kExitText =
    "Exit status: 0 done; 1 the register or the library reported a failure (its status code and text on "
    "standard error); 2 bad arguments or an input file that cannot be read; 3 a partial result: lines or "
    "records left out, an outcome unknown (the register may have run it), or interrupted.";

std::string versionString() {
    return "trvctl " + versionText(TRV_GetLibraryVersion()) + " (libtarvik " + versionText(TRV_GetLibraryVersion()) +
           ", libmirtel " + versionText(static_cast<uint32_t>(TRV_GetHLLibraryVersion())) + ")";
}

// An error, as one line on standard error and, with --json, as the document
// on standard output.
int reportError(const std::string& message, int exitStatus, const TARVIK_STATUS* status = nullptr,
                Outcome outcome = Outcome::Refused) {
    std::cerr << "trvctl: " << message << "\n";
    if (jsonOutput()) {
        Json e = {{"message", message}};
        if (status) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%x", *status);
            e["status"] = *status;
            e["code"] = code;
            e["text"] = statusText(*status);
            e["outcome"] = outcomeWord(outcome);
        }
        printJson(Json{{"error", e}, {"exit_status", exitStatus}});
    }
    return exitStatus;
}

int finish(int status) {
    if (!finishStandardOutput() && status != kExitUsage) return kExitFailure;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    startSignalThread();
    Global g;
    CLI::App app{"trvctl: drive a tarvik fiscal cash register from the shell.", "trvctl"};
    app.require_subcommand(1);
    app.fallthrough();
    app.set_version_flag("--version", versionString());
    app.footer(std::string("The register: --tcp, --serial, --usb, --modem with --dial, or --sim; without one, "
                           "TRVCTL_DEVICE (tcp:HOST[:PORT], serial:PORTSTRING, usb:SERIAL, modem:PORTSTRING:NUMBER or "
                           "sim). trvctl help COMMAND, or trvctl COMMAND --help, explains a command.\n") +
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
                                   "seconds to wait for each answer (default 60, a printed report 600, ping 2)")
                        ->group(conn)
                        ->check(CLI::Range(0.1, 86400.0));
    app.add_option("--window", g.window, "requests in flight at once for imports, exports and lists (default 32)")
        ->group(conn)
        ->check(CLI::Range(1, 200));
    app.add_option("--charset", g.charset,
                   "the register's character set (default: TARVIK_CHARSET, else CP1250); texts are converted to "
                   "it and back, and what it cannot hold is refused")
        ->group(conn);
    const std::string out = "Output";
    app.add_flag("--json", g.json, "one JSON document on standard output, for scripts (errors too)")->group(out);
    app.add_flag("--quiet,-q", g.quiet, "no notes, summaries or progress on standard error; errors still")->group(out);
    app.add_option("--lang", g.lang, "language of the status texts: en or pl")
        ->group(out)
        ->check(CLI::IsMember({"en", "pl"}));

    // Each command sets what runs once the command line is read.
    std::function<int(Session&)> action;
    std::function<int()> offline;  // commands that need no register
    bool probe = false;

    // ---- status, ping, clock, vat
    app.add_subcommand("status", "register number, status blocks, database status, clock, library versions")
        ->callback([&] { action = cmdStatus; });
    app.add_subcommand("ping", "whether the register answers, within about two seconds (--timeout)")
        ->callback([&] {
            action = cmdPing;
            probe = true;
        });

    auto* clock = app.add_subcommand("clock", "show the register's clock, or set it");
    clock->callback([&] {
        if (!action) action = cmdClockShow;
    });
    static std::string when;
    static bool clockYes = false;
    auto* clockSet = clock->add_subcommand("set", "set the clock; setting it back needs --yes");
    clockSet->add_option("WHEN", when, "now, or \"YYYY-MM-DD HH:MM:SS\"")->required();
    clockSet->add_flag("--yes,-y", clockYes, "yes, set it back if it is ahead");
    clockSet->callback([&] {
        if (when != "now" && checkDateTime(when).empty())
            throw CLI::ValidationError("WHEN", "'" + when + "' is not \"now\" or a valid \"YYYY-MM-DD HH:MM:SS\"");
        action = [](Session& s) { return cmdClockSet(s, when, clockYes); };
    });

    auto* vat = app.add_subcommand("vat", "show the VAT rates A to G, or set them");
    vat->callback([&] {
        if (!action) action = cmdVatShow;
    });
    static std::vector<std::string> rates;
    static std::string vatFrom;
    static bool vatYes = false;
    auto* vatSet = vat->add_subcommand(
        "set", "set VAT rates: LETTER=RATE for each rate that changes (23, 8.5, exempt, unused); the others keep "
               "their values. The rates are read first: nothing is written when none changes. A change is written "
               "to the fiscal memory, which holds a limited number of them: give --yes.");
    vatSet->add_option("RATES", rates, "LETTER=RATE ...")->required();
    vatSet->add_option("--from", vatFrom, "the rates apply from \"YYYY-MM-DD HH:MM:SS\" (default now)");
    vatSet->add_flag("--yes,-y", vatYes, "yes, write the change to the fiscal memory");
    vatSet->callback([&] {
        try {
            parseVatRates(rates);
            if (!vatFrom.empty() && checkDateTime(vatFrom).empty())
                throw UsageError("--from: '" + vatFrom + "' is not a valid \"YYYY-MM-DD HH:MM:SS\"");
        } catch (const UsageError& e) {
            throw CLI::ValidationError("RATES", e.what());
        }
        action = [](Session& s) { return cmdVatSet(s, rates, vatFrom, vatYes); };
    });

    // ---- journal, fiscal memory, reports
    app.add_subcommand("journal", "read the sale journal, every record decoded into named fields")
        ->footer("Records are read from the first on, pipelined, until the register says none follows; reading "
                 "does not remove them. The record types (the register's codes) and the reader used for each:\n" +
                 journalTypes().describe() +
                 "A type not in this list is shown with its type and no fields. Amounts and quantities are the "
                 "register's decimal values (prices in the smallest currency unit). With --json: {\"records\": "
                 "[{numer_rekordu, pelny, nastepny, typ, type_name, fields: {...}}, ...]}.")
        ->callback([&] { action = cmdJournal; });

    static unsigned fmFrom = 0, fmTo = 0, fmType = 0;
    auto* fm = app.add_subcommand("fiscal-memory", "read the fiscal memory: its status and every record by type");
    fm->add_option("--from", fmFrom, "first record number (default 1)")->check(CLI::Range(1, 65535));
    fm->add_option("--to", fmTo, "last record number (default the last record)")->check(CLI::Range(1, 65535));
    fm->add_option("--type", fmType, "only records of this type")->check(CLI::Range(1, 65535));
    fm->footer("Record types (the register's codes) and their readers:\n" + fiscalMemoryTypes().describe());
    fm->callback([&] { action = [](Session& s) { return cmdFiscalMemory(s, fmFrom, fmTo, fmType); }; });

    static std::string reportName;
    static std::vector<std::string> selectors;
    static bool reportListWanted = false, reportYes = false;
    auto* report = app.add_subcommand("report", "make the register print a report");
    report->add_option("NAME", reportName, "the report: TRVS_RepPLUByRecNo, RepPLUByRecNo or PLUByRecNo (any case)");
    report->add_option("SELECTORS", selectors, "its selectors in order, or NAME=VALUE by name (VAT rates as A-G)");
    report->add_flag("--list", reportListWanted, "list the reports and their selectors");
    report->add_flag("--yes,-y", reportYes, "yes, make the daily fiscal report (it closes the day for good)");
    report->footer("Reports and their selectors:\n" + reportList() +
                   "FskDaily, the daily fiscal report, writes the fiscal memory and needs --yes.");
    report->callback([&] {
        if (reportListWanted) {
            offline = [] {
                std::cout << reportList();
                return kExitOk;
            };
            return;
        }
        if (reportName.empty()) throw CLI::RequiredError("NAME");
        action = [](Session& s) { return cmdReport(s, reportName, selectors, reportYes); };
    });

    // ---- header and footer
    static std::string headerFile, footerFile;
    for (bool isHeader : {true, false}) {
        auto* sc = app.add_subcommand(isHeader ? "header" : "footer",
                                      std::string("show the receipt ") + (isHeader ? "header" : "footer") +
                                          " as FLAG<tab>TEXT lines, which set reads back; or set it from a file");
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
    static std::string function;
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
                 "the type. Without a reader only success is reported. Outputs are named as everywhere in trvctl "
                 "(numerMU is numer_mu).");
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
    static std::string tkey, tcode, delimiter, encoding = "utf-8";
    static std::vector<std::string> assignments;
    static bool noOverwrite = false;
    auto dialect = [&](CLI::App* a, bool import) {
        a->add_option("--delimiter", delimiter,
                      import ? "between cells: , ; tab, or auto (default: found on the header line)"
                             : "between cells: , ; or tab (default ,)");
        a->add_option("--encoding", encoding,
                      import ? "of the file: utf-8 (a byte order mark is passed over), cp1250, ... (default utf-8)"
                             : "of the file: utf-8, utf-8-bom (for spreadsheets that need the mark), cp1250, ... "
                               "(default utf-8)");
    };
    auto applyDialect = [&](bool import) {
        try {
            topt.delimiter = parseDelimiter(delimiter.empty() ? (import ? "auto" : ",") : delimiter);
            if (!import && topt.delimiter == 0) throw UsageError("--delimiter: auto is for import");
            topt.encoding = parseEncoding(encoding);
        } catch (const UsageError& e) {
            throw CLI::ValidationError(e.what());
        }
    };
    const std::string units =
        "Prices and amounts are whole numbers in the smallest currency unit (279 is 2.79), quantities whole "
        "numbers of the article's unit; VAT rates are the letters A to G.";
    for (const Table& t : tables()) {
        auto* sc = app.add_subcommand(t.name, t.title);
        sc->alias(t.alias);
        sc->require_subcommand(1);
        const Table* tp = &t;
        auto range = [&](CLI::App* a) {
            a->add_option("--from", topt.from, "first record number (default " + std::to_string(t.first) + ")")
                ->check(CLI::Range(1, 65535));
            a->add_option("--to", topt.to, "last record number (default " + std::to_string(t.last) + ")")
                ->check(CLI::Range(1, 65535));
        };
        auto* list = sc->add_subcommand("list", "list the records");
        range(list);
        list->footer(units);
        list->callback([&, tp] { action = [tp](Session& s) { return tableList(s, *tp, topt); }; });

        sc->add_subcommand("get", "show one record")
            ->callback([&, tp] { action = [tp](Session& s) { return tableGet(s, *tp, tkey); }; })
            ->footer(units)
            ->add_option("NUMBER", tkey, "the record number")
            ->required();
        if (!t.find.empty())
            sc->add_subcommand("find", "show the record with this barcode")
                ->callback([&, tp] { action = [tp](Session& s) { return tableFind(s, *tp, tcode); }; })
                ->add_option("BARCODE", tcode, "primary or additional barcode")
                ->required();

        auto* set = sc->add_subcommand("set", "write one record: the fields named change, the others keep their "
                                              "values (a new record gets 0, A or empty for them); a record that "
                                              "would not change is not written");
        set->add_option("NUMBER", tkey, "the record number")->required();
        set->add_option("FIELDS", assignments, "FIELD=VALUE ...")->required();
        set->add_flag("--force", topt.force, "overwrite even a record with non-zero totals");
        set->add_flag("--strict", topt.strict, "a wrong check digit is an error, not a warning");
        set->footer("Fields (as get, list, --json and CSV call them):\n" + describeColumns(t) + units);
        set->callback([&, tp] { action = [tp](Session& s) { return tableSet(s, *tp, tkey, assignments, topt); }; });

        auto* del = sc->add_subcommand("delete", "delete one record (cannot be undone: give --yes)");
        del->add_option("NUMBER", tkey, "the record number")->required();
        del->add_flag("--yes,-y", topt.yes, "yes, delete it");
        if (!t.delFlags.empty()) {
            del->add_flag("--force", topt.force, "also with non-zero totals");
            del->add_flag("--related", topt.related, "with related records (as the register defines them)");
        }
        del->callback([&, tp] { action = [tp](Session& s) { return tableDelete(s, *tp, tkey, topt); }; });

        auto* ex = sc->add_subcommand("export", "write every record to a CSV file");
        ex->add_option("FILE", topt.file, "the CSV file; - is standard output")->required();
        range(ex);
        dialect(ex, false);
        ex->footer("Columns:\n" + describeColumns(t) + units +
                   " A regular FILE is replaced only once the whole export is written (keeping its mode); a "
                   "link, FIFO or device is written into." +
                   (t.secret ? " The file holds passwords and PINs: it is created with mode 0600." : ""));
        ex->callback([&, tp] {
            applyDialect(false);
            action = [tp](Session& s) { return tableExport(s, *tp, topt); };
        });

        auto* im = sc->add_subcommand(
            "import", "write the records of a CSV file; every line is checked first, bad lines are reported with "
                      "their line number and not sent, and every line not confirmed is written to a rejects file "
                      "with its outcome and reason");
        im->add_option("FILE", topt.file, "the CSV file (a header line naming the fields); - is standard input")
            ->required();
        im->add_option("--rejects", topt.rejects, "the rejects file (default FILE.rejects.csv, without .csv)");
        im->add_flag("--no-overwrite", noOverwrite, "refuse lines whose record exists");
        im->add_flag("--force", topt.force, "overwrite even records with non-zero totals");
        im->add_flag("--strict", topt.strict, "unknown columns and wrong check digits are errors");
        im->add_flag("--dry-run,-n", topt.dryRun, "check every line and say what would change; write nothing");
        dialect(im, true);
        im->footer("Fields (header names in any case; the register's own names too):\n" + describeColumns(t) + units +
                   "\nOnly the columns given change: a price list of numer_rekordu and cena updates the prices of "
                   "existing records and leaves the rest; a record that does not exist yet needs every column (a "
                   "line that would create one from some columns only is refused, so that a mistyped number does not "
                   "make a nameless record). "
                   "A record that would not change is not written.\n"
                   "The rejects file has the columns reject_line, reject_outcome (invalid, refused, not done, "
                   "unknown, incomplete) and reject_reason before the line's own; it can be imported again once "
                   "corrected. It is written before anything is sent (every line \"unknown\") and rewritten at the "
                   "end. On SIGINT or SIGTERM no new line is sent, what is in flight is finished (a second signal "
                   "stops waiting), and the summary and the rejects file are written.\n" +
                   kExitText);
        im->callback([&, tp] {
            topt.overwrite = !noOverwrite;
            applyDialect(true);
            action = [tp](Session& s) { return tableImport(s, *tp, topt); };
        });
    }

    // ---- help and completion
    static std::vector<std::string> helpWords, completeWords;
    auto* help = app.add_subcommand("help", "explain a command: trvctl help articles import");
    help->add_option("COMMAND", helpWords, "the command");
    help->callback([&] {
        offline = [&app] {
            CLI::App* at = &app;
            for (const std::string& w : helpWords) {
                CLI::App* s = subcommandNamed(at, w);
                if (!s) {
                    std::cerr << "trvctl: unknown command '" << w << "'; see trvctl" << (at == &app ? "" : " " + path(at))
                              << " --help\n";
                    return kExitUsage;
                }
                at = s;
            }
            std::cout << at->help();
            return kExitOk;
        };
    });
    auto* comp = app.add_subcommand("__complete", "");
    comp->group("");
    comp->add_option("WORDS", completeWords)->allow_extra_args();
    comp->prefix_command();
    comp->callback([&] {
        offline = [&app] {
            std::vector<std::string> words = completeWords;
            for (const std::string& r : app.remaining()) words.push_back(r);
            complete(&app, words);
            return kExitOk;
        };
    });

    // --json is known before the command line is read, for its errors.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--json") == 0) setJsonOutput(true);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        CLI::App* at = innermost(&app);
        std::string message = e.what();
        // A word that is no command where a command is expected.
        if (!subcommandsOf(at).empty() && at->get_subcommands().empty()) {
            std::string word = firstWordAfter(&app, at, argc, argv);
            if (!word.empty() && !subcommandNamed(at, word))
                message = "unknown command '" + (at == &app ? word : path(at) + " " + word) + "'";
            else if (word.empty() && dynamic_cast<const CLI::RequiredError*>(&e))
                message = (at == &app ? std::string("a command is needed") : "'" + path(at) + "' needs a command");
        }
        const std::string cmd = path(at);
        return reportError(message + "; see trvctl " + (cmd.empty() ? "" : cmd + " ") + "--help", kExitUsage);
    }

    setQuiet(g.quiet);
    setLanguage(g.lang);
    const std::string cmd = path(innermost(&app));
    const std::string hint = "; see trvctl " + (cmd.empty() ? "" : cmd + " ") + "--help";
    try {
        const char* env = std::getenv("TARVIK_CHARSET");
        setRegisterCharset(!g.charset.empty() ? g.charset : env && *env ? env : "CP1250");
        if (offline) return finish(offline());
        Session session(sessionOptions(g, timeout->count() > 0, probe));
        return finish(action(session));
    } catch (const UsageError& e) {
        return finish(reportError(std::string(e.what()) + (e.withHint() ? hint : ""), kExitUsage));
    } catch (const Failure& e) {
        const TARVIK_STATUS st = e.status();
        const bool unknown = e.outcome() == Outcome::Unknown;
        std::string message = e.what();
        if (!e.described() && message.find("status 0x") == std::string::npos) message += ": " + describeStatus(st);
        if (unknown && message.find("unknown") == std::string::npos) message += " (outcome unknown)";
        return finish(reportError(message, unknown ? kExitPartial : kExitFailure, &st, e.outcome()));
    } catch (const std::exception& e) {
        return finish(reportError(e.what(), kExitFailure));
    }
}
