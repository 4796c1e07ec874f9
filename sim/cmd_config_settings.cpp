// Sale, stock and accessory settings of the simulated register: selling,
// stock keeping, drawer, buzzer, bill buffer, user authorisation, card
// reader, price verifier, add-on digits, takings check, change logout and
// the transaction monitor strings. Each set command stores what the matching
// get command answers.
#include "sim_commands.h"

namespace trvsim {

namespace {

void getSale(const SaleSettings& c, Values& v) {
    v.byte(c.cashClosing).byte(c.priceCheck).byte(c.amountFormat).byte(c.checkOnSale);
    v.byte(c.weeklyStats).byte(c.yearlyStats);
    v.num(c.rebatePercent).num(c.markupPercent).num(c.rebateAmount).num(c.markupAmount);
    v.byte(c.rebates).byte(c.markups).byte(c.keyCode);
}

// Everything is read before anything is stored: a request cut short changes nothing.
SaleSettings setSale(const SaleSettings& old, Args& in) {
    SaleSettings c = old;
    c.cashClosing = in.byte();
    c.priceCheck = in.byte();
    c.amountFormat = in.byte();
    c.checkOnSale = in.byte();
    c.weeklyStats = in.byte();
    c.yearlyStats = in.byte();
    c.rebatePercent = in.num();
    c.markupPercent = in.num();
    c.rebateAmount = in.num();
    c.markupAmount = in.num();
    c.rebates = in.byte();
    c.markups = in.byte();
    c.keyCode = in.byte();
    return c;
}

uint16_t monitorNumber(Args& in) {
    const uint16_t n = in.word();
    if (n < 1 || n > Settings::kMonitorStrings) throw ExecError{err::kBadValue};
    return n;
}

}  // namespace

void cmd_config_settings::addCommands(Handlers& h) {
    // ---- selling
    h.add(cmd::SaleCfgGet, [](State& s, Args&, Values& v) { getSale(s.settings.sale, v); });
    h.add(cmd::SaleCfgSet, [](State& s, Args& in, Values&) { s.settings.sale = setSale(s.settings.sale, in); });
    h.add(cmd::XEL_SaleCfgGetEx, [](State& s, Args&, Values& v) {
        getSale(s.settings.sale, v);
        v.byte(s.settings.sale.automatic);
    });
    h.add(cmd::XEL_SaleCfgSetEx, [](State& s, Args& in, Values&) {
        SaleSettings c = setSale(s.settings.sale, in);
        c.automatic = in.byte();
        s.settings.sale = c;
    });
    h.add(cmd::SaleFldPLUNameAsPriceCfg, [](State& s, Args& in, Values&) { s.settings.sale.nameAsPrice = in.byte(); });
    // Sale size: the journal's fill, in records; the flag is set once it is full.
    h.add(cmd::SaleSizeGetEx, [](State& s, Args&, Values& v) {
        const size_t n = s.journal.size();
        v.byte(n >= State::kJournalCapacity ? 1 : 0)
            .dword(static_cast<uint32_t>(n))
            .dword(static_cast<uint32_t>(State::kJournalCapacity));
    });

    // ---- stock keeping
    auto getStore = [](const StoreSettings& c, Values& v) {
        v.byte(c.pluOn).byte(c.pluControl).byte(c.pluBlock).byte(c.packOn).byte(c.packControl).byte(c.packBlock);
    };
    h.add(cmd::StoreCfgGet, [getStore](State& s, Args&, Values& v) { getStore(s.settings.store, v); });
    h.add(cmd::StoreCfgGetEx, [getStore](State& s, Args&, Values& v) {
        getStore(s.settings.store, v);
        v.byte(s.settings.store.recipes);
    });
    h.add(cmd::PLUStoreCfgSet, [](State& s, Args& in, Values&) {  // recipes only from the newer form
        StoreSettings c = s.settings.store;
        c.pluOn = in.byte();
        c.pluControl = in.byte();
        c.pluBlock = in.byte();
        if (in.more()) c.recipes = in.byte();
        s.settings.store = c;
    });
    h.add(cmd::PackStoreCfgSet, [](State& s, Args& in, Values&) {
        StoreSettings c = s.settings.store;
        c.packOn = in.byte();
        c.packControl = in.byte();
        c.packBlock = in.byte();
        s.settings.store = c;
    });

    // ---- drawer, buzzer, bill buffer, user authorisation
    h.add(cmd::DrawerImpulseGet, [](State& s, Args&, Values& v) { v.word(s.settings.drawerImpulse); });
    h.add(cmd::DrawerImpulseSet, [](State& s, Args& in, Values&) { s.settings.drawerImpulse = in.word(); });
    h.add(cmd::SoundCfgGet, [](State& s, Args&, Values& v) { v.byte(s.settings.soundFlag).byte(s.settings.soundSource); });
    h.add(cmd::SoundCfgSet, [](State& s, Args& in, Values&) {
        const uint8_t flag = in.byte();
        s.settings.soundSource = in.byte();
        s.settings.soundFlag = flag;
    });
    h.add(cmd::BillBufCfgGet, [](State& s, Args&, Values& v) {
        const BillBuffer& b = s.settings.billBuffer;
        v.byte(b.active).byte(b.overflowSignal).word(b.threshold);
    });
    h.add(cmd::BillBufCfgGetEx, [](State& s, Args&, Values& v) {
        const BillBuffer& b = s.settings.billBuffer;
        v.byte(b.active).byte(b.overflowSignal).word(b.threshold).byte(b.block).byte(b.info);
    });
    h.add(cmd::BillBufCfgSet, [](State& s, Args& in, Values&) {  // blocking and information only from the newer form
        BillBuffer b = s.settings.billBuffer;
        b.active = in.byte();
        b.overflowSignal = in.byte();
        b.threshold = in.word();
        if (in.more()) {
            b.block = in.byte();
            b.info = in.byte();
        }
        s.settings.billBuffer = b;
    });
    h.add(cmd::UserAuthCfgGet, [](State& s, Args&, Values& v) { v.byte(s.settings.loginMethod).byte(s.settings.loginControl); });
    h.add(cmd::UserAuthCfgSet, [](State& s, Args& in, Values&) {
        const uint8_t method = in.byte();
        s.settings.loginControl = in.byte();
        s.settings.loginMethod = method;
    });

    // ---- discount-card reader and price verifier
    h.add(cmd::DiscntCardCfgGet, [](State& s, Args&, Values& v) {
        const CardReader& c = s.settings.cardReader;
        v.byte(c.valid).word(c.responseTime).word(c.inputMethod);
    });
    h.add(cmd::XEL_DiscntCardCfgGetEx, [](State& s, Args&, Values& v) {
        const CardReader& c = s.settings.cardReader;
        v.byte(c.valid).word(c.responseTime).word(c.inputMethod).str(c.params);
    });
    h.add(cmd::DiscntCardCfgSet, [](State& s, Args& in, Values&) {  // the parameter string only from the newer forms
        CardReader c = s.settings.cardReader;
        c.valid = in.byte();
        c.responseTime = in.word();
        c.inputMethod = in.word();
        if (in.more()) c.params = in.str();
        s.settings.cardReader = c;
    });
    h.add(cmd::XEL_PriceVerifCfgGet, [](State& s, Args& in, Values& v) {
        const PriceVerifier& p = s.settings.priceVerifiers[in.byte()];
        v.byte(p.count).byte(p.blink).byte(p.delay).byte(p.time);
        for (const std::string& line : p.lines) v.str(line);
    });
    h.add(cmd::XEL_PriceVerifCfgSet, [](State& s, Args& in, Values&) {
        const uint8_t type = in.byte();
        PriceVerifier p;
        p.count = in.byte();
        p.blink = in.byte();
        p.delay = in.byte();
        p.time = in.byte();
        // Type 0 has a display of two lines, the others of four.
        if (in.remaining() != (type == 0 ? 2u : 4u)) throw ExecError{err::kBadParams};
        for (size_t i = 0; in.more(); ++i) p.lines[i] = in.str();
        s.settings.priceVerifiers[type] = p;
    });

    // ---- add-on digits, single switches, transaction monitor strings
    h.add(cmd::AddonCfgGet, [](State& s, Args&, Values& v) {
        v.byte(s.settings.addon.two).byte(s.settings.addon.five).word(s.settings.addon.spacing);
    });
    h.add(cmd::AddonCfgSet, [](State& s, Args& in, Values&) {
        Addon a;
        a.two = in.byte();
        a.five = in.byte();
        a.spacing = in.word();
        s.settings.addon = a;
    });
    h.add(cmd::TakingsVerifyGet, [](State& s, Args&, Values& v) { v.byte(s.settings.takingsVerify); });
    h.add(cmd::TakingsVerifySet, [](State& s, Args& in, Values&) { s.settings.takingsVerify = in.byte(); });
    h.add(cmd::ChangeLogoutGet, [](State& s, Args&, Values& v) { v.byte(s.settings.changeLogout); });
    h.add(cmd::ChangeLogoutSet, [](State& s, Args& in, Values&) { s.settings.changeLogout = in.byte(); });
    h.add(cmd::ProtTransMonCfgRead, [](State& s, Args& in, Values& v) {
        const uint16_t n = monitorNumber(in);
        v.word(n).str(s.settings.monitorStrings[n]);
    });
    h.add(cmd::ProtTransMonCfgIns, [](State& s, Args& in, Values&) {
        const uint16_t n = monitorNumber(in);
        s.settings.monitorStrings[n] = in.str();
    });
}

}  // namespace trvsim
