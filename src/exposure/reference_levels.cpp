#include "exposure/reference_levels.h"

namespace fenwyd {

namespace {

// c, c / f or c / f^2.
enum class Form : uint8_t { None, Constant, OverF, OverF2 };

struct Term {
    Form form = Form::None;
    double c = 0;
};

constexpr Term No() { return {}; }
constexpr Term K(double c) { return {Form::Constant, c}; }
constexpr Term F1(double c) { return {Form::OverF, c}; }
constexpr Term F2(double c) { return {Form::OverF2, c}; }

// One row of a source table: the band lo..hi (Hz) and a formula per
// quantity; fInKhz where the row's formulas take f in kHz.
struct Band {
    double lo;
    double hi;
    bool fInKhz;
    Term e, h, b;
};

// Which row owns an edge frequency where two rows meet.
enum class EdgeRule : uint8_t {
    // The ICNIRP tables write their bands as "1 Hz - 8 Hz", "8 Hz - 25 Hz"
    // and say no more (ICNIRP 2010 Tables 3 and 4, ICNIRP 1998 Tables 6 and
    // 7; 1999/519/EC Annex III, whose note 1 reads only "f as indicated in
    // the frequency range column"). Most rows meet with the same value;
    // where they do not (occupational H at 8 Hz: 2547 or 2500 A/m; ICNIRP
    // 1998 occupational at 820 Hz: 30.49 or 30.7 uT; the rows meeting at
    // 3 kHz), the edge takes the lower of the two: the stricter level never
    // passes an exposure that either row would fail.
    Stricter,
    // 2013/35/EU writes "1 Hz <= f < 8 Hz", ...: a row owns its lower edge,
    // and 3 kHz belongs to the "3 kHz <= f <= 10 MHz" row.
    LowerEdgeOwns,
};

struct Table {
    StandardId id;
    EdgeRule rule;
    int eExponent, hExponent, bExponent;  // the table's units as powers of ten of V/m, A/m, T
    const Band* bands;
    std::size_t count;
};

// ICNIRP, "Guidelines for limiting exposure to time-varying electric and
// magnetic fields (1 Hz to 100 kHz)", Health Physics 99(6):818-836, 2010,
// Table 3 (occupational). E in kV/m, H in A/m, B in T, f in Hz. The last row
// is the first point of the "3 kHz - 10 MHz" row.
const Band kIcnirp2010Occupational[] = {
    {1, 8, false, K(20), F2(1.63e5), F2(0.2)},      {8, 25, false, K(20), F1(2e4), F1(2.5e-2)},
    {25, 300, false, F1(5e2), K(8e2), K(1e-3)},     {300, 3000, false, F1(5e2), F1(2.4e5), F1(0.3)},
    {3000, 3000, false, K(1.7e-1), K(80), K(1e-4)},
};

// The same publication, Table 4 (general public).
const Band kIcnirp2010Public[] = {
    {1, 8, false, K(5), F2(3.2e4), F2(4e-2)},
    {8, 25, false, K(5), F1(4e3), F1(5e-3)},
    {25, 50, false, K(5), K(1.6e2), K(2e-4)},
    {50, 400, false, F1(2.5e2), K(1.6e2), K(2e-4)},
    {400, 3000, false, F1(2.5e2), F1(6.4e4), F1(8e-2)},
    {3000, 3000, false, K(8.3e-2), K(21), K(2.7e-5)},
};

// ICNIRP, "Guidelines for limiting exposure to time-varying electric,
// magnetic, and electromagnetic fields (up to 300 GHz)", Health Physics
// 74(4):494-522, 1998, Table 7 (general public); the same values are Council
// Recommendation 1999/519/EC, Annex III, Table 2. E in V/m, H in A/m, B in
// uT; f as the band gives it (Hz, or kHz from 25 Hz on). The last row is the
// first point of the "3 - 150 kHz" row.
const Band kIcnirp1998Public[] = {
    {1, 8, false, K(10000), F2(3.2e4), F2(4e4)}, {8, 25, false, K(10000), F1(4000), F1(5000)},
    {25, 800, true, F1(250), F1(4), F1(5)},      {800, 3000, true, F1(250), K(5), K(6.25)},
    {3000, 3000, true, K(87), K(5), K(6.25)},
};

// The same publication, Table 6 (occupational). The "0.82 - 65 kHz" row
// runs on past 3 kHz.
const Band kIcnirp1998Occupational[] = {
    {1, 8, false, K(20000), F2(1.63e5), F2(2e5)},
    {8, 25, false, K(20000), F1(2e4), F1(2.5e4)},
    {25, 820, true, F1(500), F1(20), F1(25)},
    {820, 3000, true, K(610), K(24.4), K(30.7)},
};

// Directive 2013/35/EU, Annex II, Table B1 (action levels for the electric
// field, V/m) and Table B2 (magnetic flux density, uT); no H. The E rows come
// first, then the B rows; each table's last row is the first point of its
// "3 kHz <= f <= 10 MHz" row.
const Band kEu2013Low[] = {
    {1, 25, false, K(2.0e4), No(), No()},      {25, 50, false, F1(5.0e5), No(), No()},
    {50, 1640, false, F1(5.0e5), No(), No()},  {1640, 3000, false, F1(5.0e5), No(), No()},
    {3000, 3000, false, K(1.7e2), No(), No()}, {1, 8, false, No(), No(), F2(2.0e5)},
    {8, 25, false, No(), No(), F1(2.5e4)},     {25, 300, false, No(), No(), K(1.0e3)},
    {300, 3000, false, No(), No(), F1(3.0e5)}, {3000, 3000, false, No(), No(), K(1.0e2)},
};

const Band kEu2013High[] = {
    {1, 25, false, K(2.0e4), No(), No()},      {25, 50, false, K(2.0e4), No(), No()},
    {50, 1640, false, F1(1.0e6), No(), No()},  {1640, 3000, false, K(6.1e2), No(), No()},
    {3000, 3000, false, K(6.1e2), No(), No()}, {1, 8, false, No(), No(), F1(3.0e5)},
    {8, 25, false, No(), No(), F1(3.0e5)},     {25, 300, false, No(), No(), F1(3.0e5)},
    {300, 3000, false, No(), No(), F1(3.0e5)}, {3000, 3000, false, No(), No(), K(1.0e2)},
};

template <std::size_t N>
constexpr Table Make(StandardId id, EdgeRule rule, int e, int h, int b, const Band (&bands)[N]) {
    return {id, rule, e, h, b, bands, N};
}

const Table kTables[] = {
    Make(StandardId::Icnirp2010Public, EdgeRule::Stricter, 3, 0, 0, kIcnirp2010Public),
    Make(StandardId::Icnirp2010Occupational, EdgeRule::Stricter, 3, 0, 0, kIcnirp2010Occupational),
    Make(StandardId::Icnirp1998Public, EdgeRule::Stricter, 0, 0, -6, kIcnirp1998Public),
    Make(StandardId::Icnirp1998Occupational, EdgeRule::Stricter, 0, 0, -6, kIcnirp1998Occupational),
    Make(StandardId::Eu2013Low, EdgeRule::LowerEdgeOwns, 0, 0, -6, kEu2013Low),
    Make(StandardId::Eu2013High, EdgeRule::LowerEdgeOwns, 0, 0, -6, kEu2013High),
};

const StandardInfo kStandards[kStandardCount] = {
    {StandardId::Icnirp2010Public, "icnirp2010-public", "ICNIRP 2010 general public",
     "ICNIRP 2010 general public reference level",
     "ICNIRP, Health Physics 99(6):818-836, 2010, Table 4", true},
    {StandardId::Icnirp2010Occupational, "icnirp2010-occupational", "ICNIRP 2010 occupational",
     "ICNIRP 2010 occupational reference level",
     "ICNIRP, Health Physics 99(6):818-836, 2010, Table 3", true},
    {StandardId::Icnirp1998Public, "icnirp1998-public", "ICNIRP 1998 general public (1999/519/EC)",
     "ICNIRP 1998 general public (1999/519/EC) reference level",
     "ICNIRP, Health Physics 74(4):494-522, 1998, Table 7; Council Recommendation 1999/519/EC, "
     "Annex III, Table 2",
     true},
    {StandardId::Icnirp1998Occupational, "icnirp1998-occupational", "ICNIRP 1998 occupational",
     "ICNIRP 1998 occupational reference level",
     "ICNIRP, Health Physics 74(4):494-522, 1998, Table 6", true},
    {StandardId::Eu2013Low, "eu2013-low", "Directive 2013/35/EU low action level",
     "Directive 2013/35/EU low action level",
     "Directive 2013/35/EU, Annex II, Tables B1 and B2 (low ALs)", false},
    {StandardId::Eu2013High, "eu2013-high", "Directive 2013/35/EU high action level",
     "Directive 2013/35/EU high action level",
     "Directive 2013/35/EU, Annex II, Tables B1 and B2 (high ALs)", false},
};

const Table& TableOf(StandardId id) {
    for (const Table& t : kTables) {
        if (t.id == id) return t;
    }
    return kTables[0];  // every id has a table
}

const Term& TermOf(const Band& band, Quantity q) {
    return q == Quantity::ElectricField ? band.e : q == Quantity::MagneticField ? band.h : band.b;
}

double Evaluate(const Term& t, double hz, bool fInKhz) {
    // f in kHz as f / 1000, written so 250 / 0.05 kHz stays exactly 5000.
    const double scale = fInKhz ? 1000 : 1;
    switch (t.form) {
        case Form::Constant: return t.c;
        case Form::OverF: return t.c * scale / hz;
        case Form::OverF2: return t.c * (scale * scale) / (hz * hz);
        case Form::None: break;
    }
    return 0;
}

bool Owns(const Band& band, double hz, EdgeRule rule) {
    if (rule == EdgeRule::Stricter || band.lo == band.hi) return band.lo <= hz && hz <= band.hi;
    return band.lo <= hz && hz < band.hi;
}

}  // namespace

const char* const kFrequencyRangeError = "The frequency must be from 1 Hz to 3 kHz.";

const StandardInfo* Standards() { return kStandards; }

const StandardInfo& InfoOf(StandardId id) {
    for (const StandardInfo& s : kStandards) {
        if (s.id == id) return s;
    }
    return kStandards[0];
}

std::optional<StandardId> StandardFromKey(const std::string& key) {
    for (const StandardInfo& s : kStandards) {
        if (key == s.key) return s.id;
    }
    return std::nullopt;
}

bool FrequencyInRange(double hz) { return hz >= kMinFrequencyHz && hz <= kMaxFrequencyHz; }

std::optional<TableLevel> StandardLevel(StandardId id, Quantity quantity, double frequencyHz) {
    if (!FrequencyInRange(frequencyHz) || quantity == Quantity::Unknown) return std::nullopt;
    const Table& table = TableOf(id);
    std::optional<double> level;
    for (std::size_t i = 0; i < table.count; ++i) {
        const Band& band = table.bands[i];
        const Term& term = TermOf(band, quantity);
        if (term.form == Form::None || !Owns(band, frequencyHz, table.rule)) continue;
        const double v = Evaluate(term, frequencyHz, band.fInKhz);
        if (!level || v < *level) level = v;
    }
    if (!level) return std::nullopt;
    const int exponent = quantity == Quantity::ElectricField   ? table.eExponent
                         : quantity == Quantity::MagneticField ? table.hExponent
                                                               : table.bExponent;
    return TableLevel{*level, exponent};
}

}  // namespace fenwyd
